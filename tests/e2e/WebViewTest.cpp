// The live view's door rules, over real HTTP against cuebridge-hostsim --ui 0 (with the
// plug-in): it listens on the loopback only, serves only requests whose Host header
// names the loopback at its port, and takes changes only from its own page.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A TCP connection to the loopback port, or -1.
int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    close(fd);
    return -1;
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
        {"a request line too long",
         "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: " + self + "\r\n\r\n",
         414,
         {4}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Status(port, c.request), c.status) << c.what;
        EXPECT_EQ(Selected(host), c.selectedAfter) << c.what;
    }
    EXPECT_EQ(host.Quit(), 0) << host.Stderr();
}

// A peer that sends header lines without end (64 MiB of them) is answered and cut off at
// the limit while it sends: the host's peak memory stays where it was.
TEST(WebView, AnEndlessRequestHeadIsCutOffWhileItIsRead) {
    HostProcess host(HOSTSIM_PATH, {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--ui", "0"});
    const int port = ViewPort(host);
    ASSERT_GT(port, 0);
    const auto peakKiB = [&] {
        std::ifstream status("/proc/" + std::to_string(host.Pid()) + "/status");
        std::string field;
        long kib = -1;
        while (status >> field)
            if (field == "VmHWM:") status >> kib;
        return kib;
    };
    const long before = peakKiB();
    const int fd = Connect(port);
    ASSERT_GE(fd, 0);
    std::string lines = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    for (int i = 0; lines.size() < (64 << 10); ++i)
        lines += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'a') + "\r\n";
    std::size_t sent = 0;
    while (sent < (64u << 20) && send(fd, lines.data(), lines.size(), MSG_NOSIGNAL) > 0)
        sent += lines.size();
    char answer[64] = {};
    const ssize_t got = recv(fd, answer, sizeof answer - 1, 0);
    close(fd);
    EXPECT_LT(sent, 64u << 20) << "the host read every header line";
    EXPECT_EQ(std::string(answer, got > 0 ? got : 0).substr(0, 12), "HTTP/1.1 431");
    // Far below the 64 MiB sent, with room for a sanitizer's own bookkeeping (a new thread).
    EXPECT_LT(peakKiB() - before, 32 << 10) << "peak memory grew, in KiB";
    EXPECT_EQ(host.Quit(), 0) << host.Stderr();
}

// With the plug-in tracing, a one-shot controller's message arrives, waits and runs in the
// view's log, traces and the host's records in one order; the console still answers.
TEST(WebView, TheLogShowsThePluginsTracesInOrderWithTheHostsRecords) {
    HostProcess host(HOSTSIM_PATH, {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--ui", "0"}, false, {},
                     {"enabletraces"});
    const int view = ViewPort(host);
    const auto plugin = host.WaitForPort();
    ASSERT_TRUE(view > 0 && plugin);
    const int controller = Connect(*plugin);
    const std::string message = "1|ExecuteCommand|2004\n";
    ASSERT_EQ(send(controller, message.data(), message.size(), 0), 22);
    close(controller);
    host.StateWhen(
        [](const auto& state) { return !state.value("commands_run", nlohmann::json()).empty(); });
    const int page = Connect(view);
    const std::string request =
        "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(view) + "\r\n\r\n";
    send(page, request.data(), request.size(), 0);
    std::string stream;
    char buffer[65536];
    for (ssize_t n; stream.find("\n\n", stream.find("data: ")) == std::string::npos &&
                    (n = recv(page, buffer, sizeof buffer, 0)) > 0;)
        stream.append(buffer, static_cast<std::size_t>(n));
    close(page);
    const auto start = stream.find("data: ") + 6;
    const auto log =
        nlohmann::json::parse(stream.substr(start, stream.find("\n\n", start) - start))["log"];
    std::string rows;  // oldest first
    for (const auto& row : log)
        rows.insert(
            0, row["kind"].get<std::string>() + " " +
                   (row.contains("text")     ? row["text"].dump()
                    : row.value("number", 0) ? std::to_string(row["number"].get<int>())
                                             : row.value("messages", nlohmann::json()).dump()) +
                   "\n");
    EXPECT_NE(rows.find("connection 1\ntrace \"1 messages\"\ntrace \"Message 21\"\n"),
              std::string::npos)
        << rows;
    // The main thread traces the command just before the host records it; the socket thread's
    // own traces may fall between the two.
    const auto traced = rows.find("trace \"Executing command 2004\"\n");
    ASSERT_NE(traced, std::string::npos) << rows;
    EXPECT_NE(rows.find("\ncommand 2004\n", traced), std::string::npos) << rows;
    EXPECT_EQ(rows.find("\ncommand 2004\n"), rows.find("\ncommand 2004\n", traced)) << rows;
    EXPECT_EQ(host.Quit(), 0) << host.Stderr();
}
