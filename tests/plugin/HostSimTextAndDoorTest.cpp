// The simulated host's pure checks, case by case: the repair of what the script engine
// returns into valid UTF-8, and the live view's door rules for a request's headers.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/Utf8.h"
#include "view/RequestGuard.h"

namespace {

TEST(ToValidUtf8, JoinsSurrogatePairsAndReplacesWhatIsNotUtf8) {
    const auto replaced = [](int count) {  // that many U+FFFD
        std::string text;
        while (count-- > 0) text += "\xEF\xBF\xBD";
        return text;
    };
    const struct {
        const char* what;
        std::string text, repaired;  // repaired "": the text as it is
    } cases[] = {
        {"valid text of every length", "a\xC3\xA9\xE2\x9C\x93\xF0\x9F\x98\x80", ""},
        {"a NUL is text", std::string("a\0b", 3), ""},
        {"the highest code point", "\xF4\x8F\xBF\xBF", ""},
        {"an encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", "\xF0\x9F\x98\x80"},
        {"a high surrogate at the end", "a\xED\xA0\xBD", "a" + replaced(1)},
        {"a high surrogate before a letter", "\xED\xA0\xBDz", replaced(1) + "z"},
        {"two high surrogates", "\xED\xA0\xBD\xED\xA0\xBD", replaced(2)},
        {"a low surrogate alone", "\xED\xB8\x80", replaced(1)},
        {"bytes that start nothing", "\xFF\x80", replaced(2)},
        {"a sequence cut short", "\xE2\x9C", replaced(2)},
        {"an overlong slash", "\xC0\xAF", replaced(2)},
        {"past the highest code point", "\xF4\x90\x80\x80", replaced(4)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hostsim::ToValidUtf8(c.text), c.repaired.empty() ? c.text : c.repaired) << c.what;
}

TEST(RequestGuard, OnlyTheLoopbackAtTheViewsPortIsAHost) {
    // Without a port: the default one, which a browser leaves out.
    for (const char* host : {"127.0.0.1:8080", "localhost:8080", "[::1]:8080", "127.0.0.1"})
        EXPECT_TRUE(hostsim::IsLoopbackHost(host, 8080)) << host;
    for (const char* host : {"127.0.0.1:8081", "127.0.0.1:", "127.0.0.1:8080x", "127.0.0.1:+8080",
                             "127.0.0.1:99999999999", "127.0.0.1.attacker.example",
                             "localhost.attacker.example:8080", "attacker.example:8080", ""})
        EXPECT_FALSE(hostsim::IsLoopbackHost(host, 8080)) << host;
}

TEST(RequestGuard, ChangesComeOnlyAsJsonFromTheViewsOwnPageOrWithoutAnOrigin) {
    using Headers = std::pair<const char*, const char*>;  // Origin, Content-Type
    for (const auto& [origin, type] :
         {Headers{"", "application/json"},
          {"http://127.0.0.1:8080", "application/json; charset=utf-8"}})
        EXPECT_TRUE(hostsim::MayChangeState(origin, "127.0.0.1:8080", type)) << origin << type;
    // The last origin is the loopback's but not the page's own.
    for (const auto& [origin, type] : {Headers{"http://attacker.example", "application/json"},
                                       {"null", "application/json"},
                                       {"https://127.0.0.1:8080", "application/json"},
                                       {"", "text/plain"},
                                       {"", "application/jsonp"},
                                       {"", ""},
                                       {"http://localhost:8080", "application/json"}})
        EXPECT_FALSE(hostsim::MayChangeState(origin, "127.0.0.1:8080", type)) << origin << type;
}

}  // namespace
