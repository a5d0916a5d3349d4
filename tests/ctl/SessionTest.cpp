#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "Commands.h"
#include "FakePlugin.h"
#include "Protocol.h"
#include "Session.h"

using namespace Cuebridge::Ctl;
using namespace Cuebridge::CtlTest;
using namespace std::chrono_literals;

namespace {

// Answers a script with its own text, which lets each test choose the result's bytes.
FakeReply Echo(const std::string& keyword, const std::string& argument) {
    if (keyword == Cuebridge::Protocol::kScript) {
        return {FakeReply::Kind::Result, argument};
    }
    return {};
}

Session SessionFor(const FakePlugin& plugin, std::chrono::milliseconds timeout = 10s) {
    return Session(Target{std::nullopt, plugin.PortFilePath()}, timeout);
}

}  // namespace

TEST(Session, ReplyEndsWhereTheEndMarkerEnds) {
    // Results that look like separators or markers must come back whole, even when they arrive in
    // pieces of a few bytes.
    const std::string results[] = {
        "plain",
        "",
        "a|b|c",
        "|",
        "*|*",
        "x*|*y*|*",
        "line one\rline two",
        "Flou et netteté — 日本語 ✓",
        "ends with a bar|",
        "0123456789abcdef|",
    };
    TempHome home;
    FakePlugin plugin(home.Path(), Echo, 3);
    Session session = SessionFor(plugin);
    for (const std::string& result : results) {
        const std::string line = "t1|Script|" + result;
        RequestResult reply = session.Send(line);
        ASSERT_EQ(reply.outcome, Outcome::Ok) << reply.detail;
        EXPECT_EQ(reply.reply, result.empty() ? "t1|" : "t1|" + result);
    }
    EXPECT_EQ(plugin.Connections(), 1) << "one connection carries every request";
}

TEST(Session, OneMebibyteResultComesBackWhole) {
    std::string big;
    for (size_t i = 0; big.size() < (1u << 20); ++i) {
        big += "row " + std::to_string(i) + "|é*|*\n";
    }
    big.resize(1u << 20);
    TempHome home;
    FakePlugin plugin(
        home.Path(),
        [&big](const std::string&, const std::string&) {
            return FakeReply{FakeReply::Kind::Result, big};
        },
        4096);
    Session session = SessionFor(plugin);
    // A large request too: writing and reading are interleaved, so neither side can stall.
    RequestResult reply = session.Send("t|Script|" + std::string(1u << 20, 'x'));
    ASSERT_EQ(reply.outcome, Outcome::Ok) << reply.detail;
    ASSERT_EQ(reply.reply.size(), big.size() + 2);
    EXPECT_TRUE(reply.reply == "t|" + big);
}

TEST(Session, UnansweredMessagesAreConfirmedByTheMarker) {
    TempHome home;
    FakePlugin plugin(home.Path(), Echo);
    Session session = SessionFor(plugin);
    RequestResult reply = session.Send("t|ExecuteCommand|2004");
    ASSERT_EQ(reply.outcome, Outcome::Ok) << reply.detail;
    EXPECT_EQ(reply.reply, "");
    std::vector<std::string> messages = plugin.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "t|ExecuteCommand|2004");
    EXPECT_EQ(messages[1].size(), 16u + std::string("|Script|").size());
    EXPECT_TRUE(messages[1].ends_with("|Script|"));
}

TEST(Session, ReconnectsThroughTheRewrittenPortFileAfterADrop) {
    TempHome home;
    FakePlugin plugin(home.Path(), [](const std::string& keyword, const std::string& argument) {
        if (argument == "drop") {
            return FakeReply{FakeReply::Kind::Close, {}};
        }
        return Echo(keyword, argument);
    });
    Session session = SessionFor(plugin);
    ASSERT_EQ(session.Send("t|Script|one").outcome, Outcome::Ok);
    RequestResult dropped = session.Send("t|Script|drop");
    EXPECT_EQ(dropped.outcome, Outcome::Closed);
    RequestResult again = session.Send("t|Script|two");
    ASSERT_EQ(again.outcome, Outcome::Ok) << again.detail;
    EXPECT_EQ(again.reply, "t|two");
    EXPECT_EQ(plugin.Connections(), 2);
}

TEST(Session, TimesOutOnAScriptThatNeverEnds) {
    TempHome home;
    FakePlugin plugin(home.Path(), [](const std::string&, const std::string&) {
        return FakeReply{FakeReply::Kind::Hang, {}};
    });
    Session session = SessionFor(plugin, 300ms);
    RequestResult reply = session.Send("t|Script|while(true){}");
    EXPECT_EQ(reply.outcome, Outcome::TimedOut);
    EXPECT_NE(reply.detail.find("300 ms"), std::string::npos) << reply.detail;
}

TEST(TagSource, TagsAreSixteenHexDigitsAndFresh) {
    TagSource tags;
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        std::string tag = tags.Next();
        EXPECT_EQ(tag.size(), 16u);
        EXPECT_EQ(tag.find_first_not_of("0123456789abcdef"), std::string::npos) << tag;
        seen.insert(tag);
    }
    EXPECT_EQ(seen.size(), 1000u);
}
