#include "view/WebView.h"

#include <httplib.h>

#include <future>
#include <iostream>
#include <nlohmann/json.hpp>

#include "base/Clock.h"
#include "console/Console.h"
#include "core/Host.h"
#include "view/BoundedServer.h"
#include "view/RequestGuard.h"
#include "view/WebAssets.h"

namespace hostsim {
namespace {

using nlohmann::json;

// The changes a person waits to see, the ones the view subscribes to; the others (idle
// calls, suites, thread violations) are seen at the next tick.
constexpr unsigned kUrgent = ChangeBit(Change::InfoPanel) | ChangeBit(Change::Selection) |
                             ChangeBit(Change::Command) | ChangeBit(Change::Script) |
                             ChangeBit(Change::Alert) | ChangeBit(Change::Model);
constexpr unsigned kForce = 1u << 31;  // publish even when unchanged (a page just opened)
constexpr unsigned kWakeBits = kUrgent | kForce;
// The controller connection has no host event (the plug-in owns the socket): looked at on
// each tick while a page is open.
constexpr auto kTick = std::chrono::milliseconds(250);
constexpr auto kKeepAlive = std::chrono::seconds(15);  // finds closed pages
constexpr std::size_t kMaxBody = 1 << 20;
// What a request's head may hold, as the body is bounded: far above what a browser sends.
// Counted while the head is read (BoundedStream.h).
constexpr HeadLimits kHeadLimits{
    .requestLineBytes = (8 << 10) + 64, .headerLines = 64, .headerBytes = 16 << 10};

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

void Refuse(httplib::Response& response, int status, const std::string& why) {
    response.status = status;
    response.set_content(Dump({{"ok", false}, {"error", why}}), "application/json");
}

}  // namespace

WebView::WebView(Host& host, std::string portFile, const TraceTap* tap)
    : host_(host), model_(host, std::move(portFile), tap) {}

WebView::~WebView() { Stop(); }

// main thread
int WebView::Start(int port, std::string& problem) {
    server_ = std::make_unique<BoundedServer>(kHeadLimits);
    auto& server = *server_;
    // Every open page holds a thread for its stream; room for several pages and requests.
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    server.set_payload_max_length(kMaxBody);
    server.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            return Admit(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                            : httplib::Server::HandlerResponse::Handled;
        });
    server.Get("/events", [this](const httplib::Request&, httplib::Response& response) {
        StreamEvents(response);
    });
    server.Get(R"(/[a-z.]*)", [](const httplib::Request& request, httplib::Response& response) {
        const auto asset = FindWebAsset(request.path);
        if (!asset) return Refuse(response, 404, "no such page");
        response.set_content(asset->body.data(), asset->body.size(), asset->contentType);
    });
    const auto post = [this](const char* path, const char* field, const char* verb) {
        server_->Post(path, [this, field, verb](const httplib::Request& request,
                                                httplib::Response& response) {
            const json body = json::parse(request.body, nullptr, false);
            if (!body.is_object() || !body.contains(field))
                return Refuse(response, 400, std::string("expected a JSON object with ") + field);
            const json& value = body[field];
            if (value.is_number_integer())
                return RunConsoleLine(verb + (" " + value.dump()), response);
            if (value.is_string())
                return RunConsoleLine(verb + (" " + value.get<std::string>()), response);
            Refuse(response, 400, std::string(field) + ": expected a number or a text");
        });
    };
    post("/select", "id", "select");
    post("/command", "number", "command");
    post("/script", "text", "script");

    port_ = port == 0 ? server.bind_to_any_port("127.0.0.1")
                      : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (port_ <= 0) {
        problem = "cannot listen on 127.0.0.1:" + std::to_string(port);
        server_.reset();
        return -1;
    }
    subscription_ = host_.Subscribe([this](Change change) { OnChange(change); }, kUrgent);
    worker_ = std::thread([this] { Work(); });
    serverThread_ = std::thread([this] { server_->listen_after_bind(); });
    started_ = true;
    return port_;
}

// main thread
void WebView::Stop() {
    if (!started_) return;
    started_ = false;
    host_.Unsubscribe(subscription_);
    {
        std::lock_guard lock(wakeMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
    {
        std::lock_guard lock(stateMutex_);
        closed_ = true;
    }
    published_.notify_all();
    server_->stop();
    serverThread_.join();
}

// any thread. Quick: sets a bit, and takes a lock only for the first urgent change of a
// round (the worker clears the bits when it builds).
void WebView::OnChange(Change change) {
    const unsigned bit = ChangeBit(change);
    // In a burst the bit is mostly set already: a plain read spares the shared write.
    if ((pending_.load(std::memory_order_relaxed) & bit) != 0) return;
    const unsigned before = pending_.fetch_or(bit, std::memory_order_relaxed);
    if ((before & kWakeBits) != 0) return;
    { std::lock_guard lock(wakeMutex_); }
    wake_.notify_one();
}

// any thread
void WebView::Kick() {
    pending_.fetch_or(kForce);
    { std::lock_guard lock(wakeMutex_); }
    wake_.notify_one();
}

// worker thread
void WebView::Work() {
    auto lastBuild = std::chrono::steady_clock::now() - kMinGap;
    std::unique_lock lock(wakeMutex_);
    while (!stopping_) {
        wake_.wait_for(lock, kTick, [this] { return stopping_ || (pending_ & kWakeBits) != 0; });
        // Coalesce: no more than one build per kMinGap, however many changes come.
        wake_.wait_until(lock, lastBuild + kMinGap, [this] { return stopping_; });
        if (stopping_) break;
        const unsigned bits = pending_.exchange(0);
        if (pages_ == 0) continue;  // nobody watches: build nothing
        lock.unlock();
        lastBuild = std::chrono::steady_clock::now();
        Publish(Dump(model_.Build(MonotonicMicros())), (bits & kForce) != 0);
        lock.lock();
    }
}

// worker thread
void WebView::Publish(std::string state, bool force) {
    {
        std::lock_guard lock(stateMutex_);
        if (!force && state == state_) return;
        state_ = std::move(state);
        ++version_;
    }
    published_.notify_all();
}

// server threads: the door rules (RequestGuard.h) before any handler runs.
bool WebView::Admit(const httplib::Request& request, httplib::Response& response) const {
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("X-Frame-Options", "DENY");
    response.set_header("Cache-Control", "no-store");
    response.set_header("Content-Security-Policy",
                        "default-src 'self'; frame-ancestors 'none'; base-uri 'none'");
    const std::string host = request.get_header_value("Host");
    if (!IsLoopbackHost(host, port_)) {
        Refuse(response, 403, "the Host header must name 127.0.0.1 or localhost");
        return false;
    }
    if (request.method == "GET" || request.method == "HEAD") return true;
    if (request.method != "POST" || !MayChangeState(request.get_header_value("Origin"), host,
                                                    request.get_header_value("Content-Type"))) {
        Refuse(response, 403, "changes are taken only from this view's own page");
        return false;
    }
    return true;
}

// server thread: one open page's stream. It ends when the page goes (a write fails) or
// the view stops.
void WebView::StreamEvents(httplib::Response& response) {
    std::uint64_t seen = 0;
    {
        std::lock_guard lock(stateMutex_);
        seen = version_;
    }
    ++pages_;
    Kick();
    auto sent = std::make_shared<std::uint64_t>(seen);
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, sent](std::size_t, httplib::DataSink& sink) {
            std::string chunk;
            {
                std::unique_lock lock(stateMutex_);
                published_.wait_for(lock, kKeepAlive, [&] { return closed_ || version_ > *sent; });
                if (closed_) return false;
                if (version_ > *sent) {
                    *sent = version_;
                    chunk = "data: " + state_ + "\n\n";
                } else {
                    chunk = ": keep-alive\n\n";
                }
            }
            return sink.write(chunk.data(), chunk.size());
        },
        [this](bool) { --pages_; });
}

// server thread: hands one console line to the main thread and answers with the console's
// answer; 503 when the host's main loop has ended.
void WebView::RunConsoleLine(const std::string& line, httplib::Response& response) {
    auto promise = std::make_shared<std::promise<std::string>>();
    auto answer = promise->get_future();
    Host& host = host_;
    const bool posted =
        host_.Post([promise, line, &host] { promise->set_value(Console(host).Handle(line)); });
    try {
        if (!posted) throw std::future_error(std::future_errc::broken_promise);
        const std::string text = answer.get();
        // An action the console rejects (no such item, not a number) is the request's fault;
        // a script that ran and failed is answered as run, with its error.
        const json reply = json::parse(text, nullptr, false);
        if (reply.is_object() && reply.value("ok", true) == false && !reply.contains("result"))
            response.status = 422;
        response.set_content(text, "application/json");
    } catch (const std::future_error&) {
        Refuse(response, 503, "the host is ending");
    }
}

}  // namespace hostsim
