// Transport: message assembly from received bytes, and the listen cycle over a real
// loopback connection with a recording dispatcher in place of the command dispatcher.
#include <sys/stat.h>

#include <memory>
#include <mutex>

#include "MarluneSocket.h"
#include "PluginTestSupport.h"
#include "TempHome.h"

namespace {

using namespace std::chrono_literals;
using Cuebridge::MarluneSocket;
using Cuebridge::MessageAssembler;
using testsupport::Client;

std::vector<std::string> Assemble(MessageAssembler& assembler,
                                  const std::vector<std::string>& chunks, bool flush = true) {
    std::vector<std::string> messages;
    auto collect = [&](std::string_view m) {
        messages.emplace_back(m);
        return true;
    };
    for (const auto& chunk : chunks) assembler.Feed(chunk, collect);
    if (flush) assembler.FlushTail(collect);
    return messages;
}

TEST(SplitString, CutsLikeLineReading) {
    struct Case {
        std::string text;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"", {}},          {"abc", {"abc"}},         {"a|b|", {"a", "b"}},
        {"|b", {"", "b"}}, {"a||c", {"a", "", "c"}}, {"||", {"", ""}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitString(c.text, '|'), c.pieces) << c.text;
}

TEST(MessageAssembler, CutsAtLineFeedsAndKeepsCarriageReturns) {
    MessageAssembler assembler;
    EXPECT_EQ(Assemble(assembler, {"a|b|c\nd|e|f\n"}),
              (std::vector<std::string>{"a|b|c", "d|e|f"}));
    EXPECT_EQ(Assemble(assembler, {"\n\nx\r\n"}), (std::vector<std::string>{"", "", "x\r"}));
    EXPECT_EQ(Assemble(assembler, {"last|without|lf"}),
              (std::vector<std::string>{"last|without|lf"}));
}

TEST(MessageAssembler, SameMessagesWhateverTheSplit) {
    const std::string stream = "1|Script|a|b\n2|GetAfterEffectLanguage\n\n3|x|y\r\n4|tail";
    MessageAssembler whole;
    const auto expected = Assemble(whole, {stream});
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        MessageAssembler assembler;
        EXPECT_EQ(Assemble(assembler, {stream.substr(0, cut), stream.substr(cut)}), expected)
            << cut;
    }
    MessageAssembler bytewise;
    std::vector<std::string> bytes;
    for (char c : stream) bytes.emplace_back(1, c);
    EXPECT_EQ(Assemble(bytewise, bytes), expected);
}

TEST(MessageAssembler, OverLongMessageIsDroppedUpToItsLineFeed) {
    MessageAssembler assembler(8);
    // Over the bound within one piece, and over it only once joined across pieces.
    EXPECT_EQ(Assemble(assembler, {"123456789\nok\n"}), (std::vector<std::string>{"ok"}));
    EXPECT_EQ(Assemble(assembler, {"12345", "6789", "abc\nnext\n"}),
              (std::vector<std::string>{"next"}));
    EXPECT_EQ(Assemble(assembler, {"12345678\n"}), (std::vector<std::string>{"12345678"}));
    EXPECT_EQ(Assemble(assembler, {"123456789"}), (std::vector<std::string>{}));
}

TEST(MessageAssembler, StopsWhenTheHandlerRefuses) {
    MessageAssembler assembler;
    std::vector<std::string> seen;
    const bool go = assembler.Feed("a\nstop\nc\n", [&](std::string_view m) {
        seen.emplace_back(m);
        return m != "stop";
    });
    EXPECT_FALSE(go);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "stop"}));
}

// A socket whose dispatcher records every field list and answers with it.
class RecordingSocket : public MarluneSocket {
public:
    RecordingSocket() {
        SetDispatcher([this](std::vector<std::string> fields) {
            std::string reply = "<";
            for (std::size_t i = 0; i < fields.size(); ++i) reply += (i ? "^" : "") + fields[i];
            reply += ">";
            std::lock_guard<std::mutex> lock(mutex_);
            dispatched_.push_back(std::move(fields));
            return reply;
        });
    }
    std::string ProcessMessage(std::string) override { return {}; }
    std::vector<std::vector<std::string>> Dispatched() {
        std::lock_guard<std::mutex> lock(mutex_);
        return dispatched_;
    }

private:
    std::mutex mutex_;
    std::vector<std::vector<std::string>> dispatched_;
};

class ListenCycleTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (cycles_.joinable()) cycles_.join();
    }
    // Runs `count` listen cycles on a thread of the test's own (joined at the end).
    void RunCycles(int count) {
        cycles_ = std::thread([this, count] {
            for (int i = 0; i < count; ++i) socket_->StartListeningOne();
        });
    }
    std::filesystem::path PortFile() const {
        return home_.ServiceFolder() / "PluginData/AfterEffects/socket.port";
    }
    int WaitForPort() {
        const std::string text = testsupport::WaitForFile(PortFile());
        return text.empty() ? -1 : std::stoi(text);
    }

    TempHome home_;  // set before any thread starts, restored after they end
    std::unique_ptr<RecordingSocket> socket_ = std::make_unique<RecordingSocket>();
    std::thread cycles_;
};

TEST_F(ListenCycleTest, PublishesPortOnLoopbackAndDeletesItWhenTheConnectionEnds) {
    std::filesystem::create_directories(home_.ServiceFolder() / "PluginData/AfterEffects");
    RunCycles(2);
    const int port = WaitForPort();
    ASSERT_GT(port, 0);
    EXPECT_EQ(testsupport::ReadFile(PortFile()), std::to_string(port));  // digits only

    auto client = std::make_unique<Client>(port);
    ASSERT_TRUE(client->Connected());
    // Only the loopback address listens (nothing else of this process is listening now).
    EXPECT_TRUE(testsupport::WaitUntil([&] { return testsupport::OwnListeningSockets().empty(); }));
    EXPECT_LT(Client::TryConnect(port), 0) << "a second connection must be refused";

    client->Send("1|a|b\n");
    EXPECT_EQ(client->Read(7), "<1^a^b>");
    client.reset();

    ASSERT_TRUE(testsupport::WaitUntil([&] {
        const std::string text = testsupport::ReadFile(PortFile());
        return !text.empty() && std::stoi(text) != port;
    })) << "the next cycle publishes a new port";
    const int next = std::stoi(testsupport::ReadFile(PortFile()));
    ASSERT_TRUE(
        testsupport::WaitUntil([&] { return !testsupport::OwnListeningSockets().empty(); }));
    for (const auto& listening : testsupport::OwnListeningSockets()) {
        EXPECT_EQ(listening.addressHex, "0100007F");
        EXPECT_EQ(listening.port, next);
    }
    Client second(next);
    ASSERT_TRUE(second.Connected());
    second.Close();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !std::filesystem::exists(PortFile()); }));
}

TEST_F(ListenCycleTest, PortFolderAndFileArePrivateWhateverTheUmask) {
    const mode_t umaskBefore = umask(0);
    std::filesystem::create_directories(home_.ServiceFolder() / "PluginData");
    RunCycles(1);
    const int port = WaitForPort();
    umask(umaskBefore);
    ASSERT_GT(port, 0);
    struct stat info {};
    ASSERT_EQ(stat((home_.ServiceFolder() / "PluginData/AfterEffects").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(PortFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    Client client(port);
    EXPECT_TRUE(client.Connected());
}

// Without a port file the server still listens; the test finds the port through /proc.
int WaitForOwnListeningPort() {
    int port = -1;
    testsupport::WaitUntil([&] {
        const auto sockets = testsupport::OwnListeningSockets();
        if (sockets.empty()) return false;
        port = sockets.front().port;
        return true;
    });
    return port;
}

TEST_F(ListenCycleTest, ListensWithoutAPortFileWhenTheFolderCannotBeMade) {
    // Parent "PluginData" missing: only the last folder would be created, so it fails.
    RunCycles(1);
    const int port = WaitForOwnListeningPort();
    ASSERT_GT(port, 0);
    EXPECT_FALSE(std::filesystem::exists(PortFile()));
    Client client(port);
    ASSERT_TRUE(client.Connected());
    client.Send("t|k|v\n");
    EXPECT_EQ(client.Read(7), "<t^k^v>");
}

TEST_F(ListenCycleTest, ListensWhenHomeIsNotSet) {
    unsetenv("HOME");  // no other thread runs yet; TempHome restores it
    RunCycles(1);
    const int port = WaitForOwnListeningPort();
    ASSERT_GT(port, 0);
    Client client(port);
    ASSERT_TRUE(client.Connected());
    client.Send("t|k\n");
    EXPECT_EQ(client.Read(5), "<t^k>");
}

class FramingTest : public ListenCycleTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home_.ServiceFolder() / "PluginData/AfterEffects");
        RunCycles(1);
        client_ = std::make_unique<Client>(WaitForPort());
        ASSERT_TRUE(client_->Connected());
    }
    void TearDown() override {
        client_.reset();
        ListenCycleTest::TearDown();
    }
    std::unique_ptr<Client> client_;
};

TEST_F(FramingTest, SplitsFieldsAtTheFirstTwoBarsAndAnswersInOrder) {
    struct Case {
        std::string message;
        std::string reply;  // "" for an invalid message: nothing is sent
    };
    const Case cases[] = {
        {"a|b", "<a^b>"},         {"a|b|", "<a^b^>"},       {"a||c", "<a^^c>"}, {"|b|c", "<^b^c>"},
        {"a|b|c|d", "<a^b^c|d>"}, {"a|b|c\r", "<a^b^c\r>"}, {"no bar", ""},     {"", ""},
    };
    std::string stream;
    std::string expected;
    for (const auto& c : cases) {
        stream += c.message + "\n";
        expected += c.reply;
    }
    client_->Send(stream);
    EXPECT_EQ(client_->Read(expected.size()), expected);
    EXPECT_EQ(client_->ReadFor(50ms), "") << "invalid messages get no reply";
    EXPECT_EQ(socket_->Dispatched().size(), 6u);
}

TEST_F(FramingTest, ZeroByteDropsItsMessageAndTheNextOnesAreHandled) {
    const char bytes[] =
        "1|a|b\n2|c|30\0"
        "04\n3|e|f\n\0";
    client_->Send(std::string(bytes, sizeof bytes - 1));
    EXPECT_EQ(client_->Read(14), "<1^a^b><3^e^f>");
    EXPECT_EQ(client_->ReadFor(50ms), "");
}

TEST_F(FramingTest, LargeScriptArrivesWholeOverManyReceives) {
    std::string script(1 << 20, 'x');
    for (std::size_t i = 0; i < script.size(); i += 1000) script[i] = '|';
    client_->Send("9|Script|" + script + "\n");
    const std::string expected = "<9^Script^" + script + ">";
    EXPECT_EQ(client_->Read(expected.size(), 20000ms), expected);
    ASSERT_EQ(socket_->Dispatched().size(), 1u);
}

TEST_F(FramingTest, UnterminatedLastMessageIsStillAnswered) {
    client_->Send("1|a|b\n2|c|d");
    EXPECT_EQ(client_->Read(14), "<1^a^b><2^c^d>");
}

TEST_F(FramingTest, HalfClosedPeerStillGetsTheReplyToItsTail) {
    client_->Send("5|q|r");
    client_->ShutdownWrite();  // the end of the stream follows the tail at once
    EXPECT_EQ(client_->Read(7), "<5^q^r>");
}

// Request lines by their method or by their ending, and the Host header, close the
// connection before anything after them runs; look-alikes are ordinary messages.
TEST(Framing, HttpRequestClosesTheConnection) {
    struct Case {
        std::string bytes;
        bool keptOpen;
        std::size_t dispatched;
    };
    const Case cases[] = {
        {"1|a|b\nPOST /run HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n2|ExecuteCommand|2004\n", false, 1},
        {"hOsT: localhost\n1|a|b\n", false, 0},
        {"GET /1|ExecuteCommand|2004 HTTP/1.0\r\n\r\n", false, 0},
        {"1|ExecuteCommand|2004 / HTTP/1.1\r\nHost: x\r\n", false, 0},  // curl -X
        {"get / HTTP/2\n", false, 0},
        {"1|Script|x HTTP/1.1\n", false, 0},
        {"1|Script|'HTTP/1.1'\n", true, 1},
        {"1|Script|x HTTP/\n", true, 1},
        {"1|Script|x HTTP/1.1;\n", true, 1},
    };
    for (const auto& c : cases) {
        RecordingSocket socket;
        EXPECT_EQ(socket.HandleReceived(-1, c.bytes), c.keptOpen) << c.bytes;
        EXPECT_EQ(socket.Dispatched().size(), c.dispatched) << c.bytes;
    }
}

}  // namespace
