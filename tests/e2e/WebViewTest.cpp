// The live view's door rules, over real HTTP against cuebridge-hostsim --ui 0 (with the
// plug-in): it listens on the loopback only, serves only requests whose Host header
// names the loopback at its port, and takes changes only from its own page.
#include <gtest/gtest.h>

#include <regex>

#include "Loopback.h"
#include "PluginProcess.h"

using hostsim::HostProcess;
using namespace std::chrono_literals;

namespace {

int ViewPort(const HostProcess& host) {
    const std::regex url(R"(live view at http://127\.0\.0\.1:(\d+)/)");
    std::smatch match;
    std::string text;
    testkit::WaitFor("the view's URL on the host's stderr",
                     [&] { return std::regex_search(text = host.Stderr(), match, url); });
    return match.empty() ? -1 : std::stoi(match[1]);
}

// One request on its own connection; the status code of the answer (0: none).
int Status(int port, const std::string& request) {
    const int fd = ConnectTo(port);
    const bool sent =
        fd >= 0 && send(fd, request.data(), request.size(), 0) == ssize_t(request.size());
    const std::string reply = sent ? ReadFrom(fd) : "";  // the view closes after its answer
    if (fd >= 0) close(fd);
    return reply.starts_with("HTTP/1.1 ") ? std::stoi(reply.substr(9, 3)) : 0;
}

std::vector<int> Selected(HostProcess& host) {
    std::vector<int> ids;
    const auto state = host.Ask("state");
    for (const auto& item : state["state"]["items"])
        if (item["selected"].get<bool>()) ids.push_back(item["id"].get<int>());
    return ids;
}

}  // namespace

TEST(WebView, ServesOnlyTheLoopbackAndTakesChangesOnlyFromItsOwnPage) {
    testkit::PluginProcess plugin({"--ui", "0"});
    HostProcess& host = plugin.Host();
    const int port = ViewPort(host);
    ASSERT_GT(port, 0);
    const std::string self = "127.0.0.1:" + std::to_string(port);

    // Bound to 127.0.0.1 (0100007F in the kernel's table), not to every address.
    const auto sockets = ListeningSockets(std::to_string(host.Pid()));
    EXPECT_EQ(sockets.count({"0100007F", port}), 1u);

    const auto get = [](const std::string& hostHeader) {
        return "GET / HTTP/1.1\r\nHost: " + hostHeader + "\r\nConnection: close\r\n\r\n";
    };
    const auto select = [&](int id, const std::string& headers) {
        const std::string body = "{\"id\":" + std::to_string(id) + "}";
        return "POST /select HTTP/1.1\r\nHost: " + self + "\r\n" + headers +
               "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
               body;
    };
    const std::string json = "Content-Type: application/json\r\n";
    // `count` headers of `size` bytes each, for the end of a request's head.
    const auto manyHeaders = [](int count, std::size_t size) {
        std::string headers;
        for (int i = 0; i < count; ++i)
            headers += "X-Filler-" + std::to_string(i) + ": " + std::string(size, 'a') + "\r\n";
        return headers.substr(0, headers.size() - 2);
    };
    struct Case {
        const char* what;
        std::string request;
        int status;
        std::vector<int> selectedAfter;
    };
    const Case cases[] = {
        {"the page by its address", get(self), 200, {2}},
        // Which names and origins pass is RequestGuard's (its own table test); here, that
        // each header reaches it.
        {"a rebound DNS name", get("attacker.example:" + std::to_string(port)), 403, {2}},
        {"no Host header", "GET / HTTP/1.1\r\nConnection: close\r\n\r\n", 403, {2}},
        {"a change from another origin",
         select(3, json + "Origin: http://attacker.example\r\n"),
         403,
         {2}},
        {"a change sent as a form", select(3, "Content-Type: text/plain\r\n"), 403, {2}},
        {"a change from the view's page",
         select(3, json + "Origin: http://" + self + "\r\n"),
         200,
         {3}},
        {"a change from a tool without an origin", select(4, json), 200, {4}},
        {"a change the console rejects", select(99, json), 422, {4}},
        {"the icon",
         "GET /favicon.ico HTTP/1.1\r\nHost: " + self + "\r\nConnection: close\r\n\r\n",
         200,
         {4}},
        {"too many headers", get(self + "\r\n" + manyHeaders(100, 8)), 431, {4}},
        {"too much in the headers", get(self + "\r\n" + manyHeaders(16, 4000)), 431, {4}},
        {"a browser's share of headers", get(self + "\r\n" + manyHeaders(20, 200)), 200, {4}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Status(port, c.request), c.status) << c.what;
        EXPECT_EQ(Selected(host), c.selectedAfter) << c.what;
    }
    EXPECT_EQ(host.Quit(), 0) << host.Stderr();
}
