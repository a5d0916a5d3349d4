#include "scripting/ScriptEngine.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "base/Clock.h"
#include "base/Utf8.h"
#include "duktape.h"
#include "scripting/Directives.h"
#include "scripting/Environment.h"
#include "scripting/ObjectModel.h"
#include "scripting/ScriptBindings.h"

// Called by the engine between instructions (built with DUK_USE_EXEC_TIMEOUT_CHECK); a true
// result makes the running script throw "RangeError: execution timeout".
extern "C" int cuebridge_duk_exec_timeout_check(void* udata) {
    const auto* engine = static_cast<const hostsim::ScriptEngine*>(udata);
    return engine != nullptr && engine->PastItsEnd() ? 1 : 0;
}

// How many instructions the engine runs before it calls the check again; asked at each check
// (the engine is built to ask). The engine's own fixed 262,144 left a script whose
// instructions are slow built-in calls (a 100,000-element join takes 15 to 50 ms) unchecked
// for minutes, so the count follows the clock: about one check a millisecond, down to one
// after every instruction when each takes longer, up to the engine's count for quick ones.
// Main thread (the engine's); the state is the thread's own.
extern "C" long cuebridge_duk_interrupt_interval(void) {
    constexpr long kMost = 256L * 1024L;
    constexpr std::int64_t kEveryMicros = 1000;
    thread_local std::int64_t last = 0;
    thread_local long interval = 1;
    const std::int64_t now = hostsim::MonotonicMicros();
    const std::int64_t elapsed = now - last;
    last = now;
    interval = elapsed > kEveryMicros
                   ? std::max(1L, static_cast<long>(interval * kEveryMicros / elapsed))
                   : std::min(kMost, interval * 2);
    return interval;
}

namespace hostsim {
namespace {

std::atomic<bool> g_stopAll{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// The engine's fatal errors happen outside any protected call and leave the heap unusable;
// the default handler would abort without a word. Say what happened and end the host.
void FatalHandler(void*, const char* message) {
    std::fprintf(stderr, "cuebridge-hostsim: script engine fatal error: %s\n",
                 message ? message : "(none)");
    std::fflush(stderr);
    std::_Exit(4);
}

// The text of the value on top of the stack, as UTF-8.
std::string TopAsText(duk_context* ctx) {
    duk_size_t length = 0;
    const char* text = duk_safe_to_lstring(ctx, -1, &length);
    return ToValidUtf8(std::string_view(text, length));
}

// The line in the script itself: errors raised inside the object model carry the object
// model's own line, so the call stack is searched for the script's innermost frame first.
std::string ScriptLine(duk_context* ctx) {
    std::string line;
    duk_get_prop_string(ctx, -1, "stack");
    if (duk_is_string(ctx, -1)) {
        const std::string stack = duk_get_string(ctx, -1);
        const auto at = stack.find("(script:");
        if (at != std::string::npos) {
            const auto digits =
                stack.substr(at + 8, stack.find_first_not_of("0123456789", at + 8) - at - 8);
            if (!digits.empty()) line = digits;
        }
    }
    duk_pop(ctx);
    if (line.empty()) {
        duk_get_prop_string(ctx, -1, "lineNumber");
        if (duk_is_number(ctx, -1)) line = std::to_string(duk_get_int(ctx, -1));
        duk_pop(ctx);
    }
    return line;
}

// "<name>: <message> (line N)" for the error on top of the stack.
std::string ErrorText(duk_context* ctx) {
    const std::string line = duk_is_object(ctx, -1) ? ScriptLine(ctx) : "";
    std::string text = TopAsText(ctx);
    if (text.empty()) text = "Error";
    // Syntax errors already name their line in the message.
    if (line.empty() || text.find(" (line ") != std::string::npos) return text;
    return text + " (line " + line + ")";
}

}  // namespace

void ScriptEngine::StopAll() { g_stopAll.store(true); }
bool ScriptEngine::Stopping() { return g_stopAll.load(); }

// main thread
bool ScriptEngine::PastItsEnd(std::int64_t graceMicros) const {
    return Stopping() ||
           (deadlineMicros_ != 0 && MonotonicMicros() >= deadlineMicros_ + graceMicros);
}

namespace {

// Each block is preceded by its size, in a header that keeps the block's alignment.
constexpr std::size_t kHeader = alignof(std::max_align_t);
static_assert(kHeader >= sizeof(std::size_t));

std::size_t& SizeOf(void* base) { return *static_cast<std::size_t*>(base); }

}  // namespace

void* ScriptEngine::Allocate(void* engine, std::size_t size) {
    return Reallocate(engine, nullptr, size);
}

void* ScriptEngine::Reallocate(void* udata, void* block, std::size_t size) {
    auto* engine = static_cast<ScriptEngine*>(udata);
    void* base = block == nullptr ? nullptr : static_cast<char*>(block) - kHeader;
    const std::size_t old = base == nullptr ? 0 : SizeOf(base);
    if (size == 0) {
        Free(udata, block);
        return nullptr;
    }
    // A built-in call runs between two checks of the engine, however long it takes; one
    // that allocates as it goes (a long join, a growing text) is stopped here once the
    // script is past its end: the allocation fails, and the script ends with an error. The
    // grace leaves the engine's own check, whose error names the script's line, to come first.
    constexpr std::int64_t kGraceMicros = 50'000;
    if (size > old && engine->inScript_ && engine->PastItsEnd(kGraceMicros)) {
        engine->allocationStopped_ = true;
        return nullptr;
    }
    // The engine collects garbage and tries again before it gives up with an error.
    if (size > old && size - old > engine->memoryLimit_ - engine->memoryUsed_) {
        engine->memoryExhausted_ = true;
        return nullptr;
    }
    void* grown = std::realloc(base, kHeader + size);
    if (grown == nullptr) {
        engine->memoryExhausted_ = true;
        return nullptr;
    }
    SizeOf(grown) = size;
    engine->memoryUsed_ = engine->memoryUsed_ - old + size;
    return static_cast<char*>(grown) + kHeader;
}

void ScriptEngine::Free(void* udata, void* block) {
    if (block == nullptr) return;
    void* base = static_cast<char*>(block) - kHeader;
    static_cast<ScriptEngine*>(udata)->memoryUsed_ -= SizeOf(base);
    std::free(base);
}

ScriptEngine::ScriptEngine(ScriptModel& model, std::size_t memoryLimit, ScriptDialect dialect,
                           std::size_t cachedScripts)
    : model_(model),
      memoryLimit_(memoryLimit),
      maxCached_(cachedScripts),
      maxCachedBytes_(std::min(kCachedTextBytes, memoryLimit / 64)) {
    ctx_ = duk_create_heap(Allocate, Reallocate, Free, this, FatalHandler);
    if (ctx_ == nullptr) {
        std::fprintf(stderr, "cuebridge-hostsim: cannot create the script engine\n");
        std::exit(2);
    }
    InstallObjectModel(dialect);
    duk_push_bare_array(ctx_);  // the cache: stays at index 0 of the stack for the engine's life
}

ScriptEngine::~ScriptEngine() { duk_destroy_heap(ctx_); }

namespace {

// Runs f(ctx) in a protected call, so that a failed allocation becomes an error returned here
// rather than the engine's fatal error. f pushes nothing.
template <typename F>
bool Protected(duk_context* ctx, F& f) {
    const auto trampoline = [](duk_context* c, void* udata) -> duk_ret_t {
        (*static_cast<F*>(udata))(c);
        return 0;
    };
    const bool ok = duk_safe_call(ctx, trampoline, &f, 0, 1) == DUK_EXEC_SUCCESS;
    duk_pop(ctx);
    return ok;
}

constexpr duk_idx_t kCacheIndex = 0;

// An #include's file, read as File would read it: only inside the host's home.
std::optional<IncludedFile> ReadInclude(HomeFiles& files, const std::string& path,
                                        const std::string& folder, std::string& error) {
    const bool relative = !path.empty() && path[0] != '/' && path[0] != '~';
    const std::string absolute =
        files.Absolute(relative && !folder.empty() ? folder + "/" + path : path);
    const int id = files.Open(absolute, "r", error);
    if (id == 0) return std::nullopt;
    auto text = files.Read(id, -1, false, error);
    files.Close(id);
    if (!text) return std::nullopt;
    return IncludedFile{absolute, std::move(*text)};
}

}  // namespace

// main thread
bool ScriptEngine::Program(const std::string& source) {
    const auto found = cacheIndex_.find(std::string_view(source));
    if (found != cacheIndex_.end()) {
        cache_.splice(cache_.begin(), cache_, found->second);  // the most recently run now
        duk_get_prop_index(ctx_, kCacheIndex, found->second->slot);
        return true;
    }
    Expanded expanded;
    std::string_view text = source;
    if (MayHoldDirectives(source)) {
        expanded = ExpandDirectives(
            source, [this](const std::string& path, const std::string& folder, std::string& error) {
                return ReadInclude(model_.Environment().Files(), path, folder, error);
            });
        if (!expanded.error.empty()) {
            duk_push_string(ctx_, ("Error: " + expanded.error).c_str());
            return false;
        }
        text = expanded.text;
    }
    duk_push_lstring(ctx_, text.data(), text.size());
    duk_push_string(ctx_, "script");
    // Texts that do not compile are not kept: compiling again reports the same error. Nor are
    // texts that include files, which may have changed by the next run.
    if (duk_pcompile(ctx_, DUK_COMPILE_EVAL) != 0) return false;
    if (!expanded.included) Keep(source);
    return true;
}

// main thread: keeps the program on top of the stack for source, making room by dropping the
// least recently run ones. A text larger than the whole bound is not kept.
void ScriptEngine::Keep(const std::string& source) {
    if (maxCached_ == 0 || source.size() > maxCachedBytes_) return;
    std::vector<std::uint32_t> dropped;
    while (!cache_.empty() &&
           (cache_.size() >= maxCached_ || cachedBytes_ + source.size() > maxCachedBytes_)) {
        Cached& last = cache_.back();
        cachedBytes_ -= last.source.size();
        dropped.push_back(last.slot);
        freeSlots_.push_back(last.slot);
        cacheIndex_.erase(std::string_view(last.source));
        cache_.pop_back();
    }
    std::uint32_t slot = static_cast<std::uint32_t>(cache_.size());
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    }
    auto store = [&](duk_context* ctx) {
        for (const std::uint32_t at : dropped) {
            duk_push_undefined(ctx);
            duk_put_prop_index(ctx, kCacheIndex, at);
        }
        duk_dup(ctx, -1);  // the program (a safe call shares the caller's stack)
        duk_put_prop_index(ctx, kCacheIndex, slot);
    };
    if (!Protected(ctx_, store)) {  // out of memory: keep nothing
        DropCache();
        return;
    }
    cache_.push_front({source, slot});
    cacheIndex_.emplace(std::string_view(cache_.front().source), cache_.begin());
    cachedBytes_ += source.size();
}

// main thread: forgets every kept program, so that the heap can collect them.
void ScriptEngine::DropCache() {
    cache_.clear();
    cacheIndex_.clear();
    freeSlots_.clear();
    cachedBytes_ = 0;
    auto clear = [](duk_context* ctx) { duk_set_length(ctx, kCacheIndex, 0); };
    Protected(ctx_, clear);
}

// main thread
void ScriptEngine::InstallObjectModel(ScriptDialect dialect) {
    SetBindingsModel(ctx_, &model_);
    duk_eval_string(ctx_, kObjectModel);  // the function; errors here are ours, and fatal
    duk_push_object(ctx_);
    PutScriptBindings(ctx_);
    duk_push_global_object(ctx_);
    duk_push_string(ctx_, dialect == ScriptDialect::Classic ? "classic" : "modern");
    duk_call(ctx_, 3);
    duk_pop(ctx_);
}

// main thread
MemberReport ScriptEngine::ReportMembers() { return hostsim::ReportMembers(ctx_); }

// main thread
ScriptOutcome ScriptEngine::Run(const std::string& source, std::int64_t timeoutMs) {
    if (running_) return {"", "Error: a script is already running"};
    running_ = true;
    deadlineMicros_ = timeoutMs > 0 ? MonotonicMicros() + timeoutMs * 1000 : 0;
    memoryExhausted_ = false;
    allocationStopped_ = false;
    ScriptOutcome outcome;
    if (!Program(source)) {
        outcome.error = ErrorText(ctx_);
    } else {
        inScript_ = true;
        const bool failed = duk_pcall(ctx_, 0) != 0;
        inScript_ = false;
        if (failed)
            outcome.error = ErrorText(ctx_);
        else if (!duk_is_undefined(ctx_, -1))
            outcome.result = TopAsText(ctx_);
    }
    duk_pop(ctx_);
    if (!outcome.error.empty() && allocationStopped_) {
        // The engine's own text for a refused allocation is "alloc failed"; the script was
        // stopped as at any other check.
        const auto line = outcome.error.rfind(" (line ");
        outcome.error = "RangeError: execution timeout" +
                        (line == std::string::npos ? "" : outcome.error.substr(line));
    }
    // A group the script left open closes as it ends, as in the host.
    model_.WithScene([](model::Scene& scene) { scene.EndScript(); });
    if (!outcome.error.empty() && memoryExhausted_) {
        // The engine's own text ("alloc failed") does not say which bound was reached.
        if (!allocationStopped_)
            outcome.error = "RangeError: out of memory: the script needed more than the " +
                            std::to_string(memoryLimit_ >> 20) +
                            " MiB the script engine may hold (--script-memory-mb); " +
                            outcome.error;
        DropCache();      // the kept programs go too, so that the next script has the whole heap
        duk_gc(ctx_, 0);  // what the failed script left behind goes before the next one
    }
    deadlineMicros_ = 0;
    running_ = false;
    return outcome;
}

}  // namespace hostsim
