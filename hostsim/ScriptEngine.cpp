#include "ScriptEngine.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "Clock.h"
#include "Utf8.h"
#include "duktape.h"

// Called by the engine between instructions (built with DUK_USE_EXEC_TIMEOUT_CHECK); a true
// result makes the running script throw "RangeError: execution timeout".
extern "C" int cuebridge_duk_exec_timeout_check(void* udata) {
    if (hostsim::ScriptEngine::Stopping()) return 1;
    const auto* engine = static_cast<const hostsim::ScriptEngine*>(udata);
    if (engine == nullptr || engine->DeadlineMicros() == 0) return 0;
    return hostsim::MonotonicMicros() >= engine->DeadlineMicros() ? 1 : 0;
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

ScriptModel& ModelOf(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1,
                        "\xff"
                        "model");
    auto* model = static_cast<ScriptModel*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    return *model;
}

duk_ret_t NativeEffects(duk_context* ctx) {
    auto list = nlohmann::json::array();
    for (const auto& e : ModelOf(ctx).Effects())
        list.push_back(
            {{"matchName", e.matchName}, {"displayName", e.displayName}, {"category", e.category}});
    duk_push_string(ctx,
                    list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return 1;
}

duk_ret_t NativeItems(duk_context* ctx) {
    auto list = nlohmann::json::array();
    for (const auto& i : ModelOf(ctx).ScriptItems())
        list.push_back(
            {{"id", i.id}, {"name", i.name}, {"typeName", i.typeName}, {"selected", i.selected}});
    duk_push_string(ctx,
                    list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return 1;
}

duk_ret_t NativeActive(duk_context* ctx) {
    duk_push_int(ctx, ModelOf(ctx).ActiveItemId());
    return 1;
}

duk_ret_t NativeSetSelected(duk_context* ctx) {
    const auto id = static_cast<std::int32_t>(duk_require_int(ctx, 0));
    const bool selected = duk_to_boolean(ctx, 1) != 0;
    duk_push_boolean(ctx, ModelOf(ctx).SetItemSelected(id, selected));
    return 1;
}

duk_ret_t NativeLanguage(duk_context* ctx) {
    duk_push_string(ctx, ModelOf(ctx).Language().c_str());
    return 1;
}

duk_ret_t NativeVersion(duk_context* ctx) {
    duk_push_string(ctx, ModelOf(ctx).Version().c_str());
    return 1;
}

duk_ret_t NativeExecuteCommand(duk_context* ctx) {
    ModelOf(ctx).ExecuteCommand(static_cast<std::int32_t>(duk_require_int(ctx, 0)));
    return 0;
}

// The object model, written in the engine's own language over the native calls above.
// Items are looked up afresh on every read, so they always show the host's current state.
constexpr const char* kObjectModel = R"JS((function (cb, global) {
  function ro(obj, name, getter) {
    Object.defineProperty(obj, name, { get: getter, enumerable: true });
  }
  function allItems() { return JSON.parse(cb.items()); }
  function record(id) {
    var all = allItems();
    for (var i = 0; i < all.length; i++) if (all[i].id === id) return all[i];
    throw new Error('item ' + id + ' no longer exists');
  }
  function makeItem(id) {
    var item = {};
    Object.defineProperty(item, 'id', { value: id, enumerable: true });
    ro(item, 'name', function () { return record(id).name; });
    ro(item, 'typeName', function () { return record(id).typeName; });
    Object.defineProperty(item, 'selected', {
      get: function () { return record(id).selected; },
      set: function (v) { cb.setSelected(id, !!v); },
      enumerable: true
    });
    return item;
  }
  function itemAt(index) {
    var all = allItems();
    if (typeof index !== 'number' || index % 1 !== 0 || index < 1 || index > all.length)
      throw new RangeError('item index out of range: ' + index);
    return makeItem(all[index - 1].id);
  }
  var effects = JSON.parse(cb.effects());
  for (var e = 0; e < effects.length; e++) Object.freeze(effects[e]);
  Object.freeze(effects);
  var project = {};
  ro(project, 'numItems', function () { return allItems().length; });
  project.item = itemAt;
  ro(project, 'items', function () {
    var all = allItems(), items = {};
    Object.defineProperty(items, 'length', { value: all.length, enumerable: false });
    for (var i = 0; i < all.length; i++) items[i + 1] = makeItem(all[i].id);
    return items;
  });
  ro(project, 'activeItem', function () {
    var id = cb.active();
    return id ? makeItem(id) : null;
  });
  ro(project, 'selection', function () {
    var all = allItems(), picked = [];
    for (var i = 0; i < all.length; i++) if (all[i].selected) picked.push(makeItem(all[i].id));
    return picked;
  });
  var app = {};
  ro(app, 'effects', function () { return effects; });
  ro(app, 'project', function () { return project; });
  ro(app, 'isoLanguage', function () { return cb.language(); });
  ro(app, 'version', function () { return cb.version(); });
  app.executeCommand = function (n) { cb.exec(n); };
  Object.defineProperty(global, 'app', { value: app, enumerable: false, writable: false, configurable: false });
}))JS";

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

ScriptEngine::ScriptEngine(ScriptModel& model, std::size_t memoryLimit)
    : model_(model), memoryLimit_(memoryLimit) {
    ctx_ = duk_create_heap(Allocate, Reallocate, Free, this, FatalHandler);
    if (ctx_ == nullptr) {
        std::fprintf(stderr, "cuebridge-hostsim: cannot create the script engine\n");
        std::exit(2);
    }
    InstallObjectModel();
}

ScriptEngine::~ScriptEngine() { duk_destroy_heap(ctx_); }

// main thread
void ScriptEngine::InstallObjectModel() {
    duk_push_global_stash(ctx_);
    duk_push_pointer(ctx_, &model_);
    duk_put_prop_string(ctx_, -2,
                        "\xff"
                        "model");
    duk_pop(ctx_);

    duk_eval_string(ctx_, kObjectModel);  // the function; errors here are ours, and fatal
    static const duk_function_list_entry natives[] = {
        {"effects", NativeEffects, 0},     {"items", NativeItems, 0},
        {"active", NativeActive, 0},       {"setSelected", NativeSetSelected, 2},
        {"language", NativeLanguage, 0},   {"version", NativeVersion, 0},
        {"exec", NativeExecuteCommand, 1}, {nullptr, nullptr, 0}};
    duk_push_object(ctx_);
    duk_put_function_list(ctx_, -1, natives);
    duk_push_global_object(ctx_);
    duk_call(ctx_, 2);
    duk_pop(ctx_);
}

// main thread
ScriptOutcome ScriptEngine::Run(const std::string& source, std::int64_t timeoutMs) {
    if (running_) return {"", "Error: a script is already running"};
    running_ = true;
    deadlineMicros_ = timeoutMs > 0 ? MonotonicMicros() + timeoutMs * 1000 : 0;
    memoryExhausted_ = false;
    ScriptOutcome outcome;
    duk_push_lstring(ctx_, source.data(), source.size());
    duk_push_string(ctx_, "script");
    if (duk_pcompile(ctx_, DUK_COMPILE_EVAL) != 0) {
        outcome.error = ErrorText(ctx_);
    } else if (duk_pcall(ctx_, 0) != 0) {
        outcome.error = ErrorText(ctx_);
    } else if (!duk_is_undefined(ctx_, -1)) {
        outcome.result = TopAsText(ctx_);
    }
    duk_pop(ctx_);
    if (!outcome.error.empty() && memoryExhausted_) {
        // The engine's own text ("alloc failed") does not say which bound was reached.
        outcome.error = "RangeError: out of memory: the script needed more than the " +
                        std::to_string(memoryLimit_ >> 20) +
                        " MiB the script engine may hold (--script-memory-mb); " + outcome.error;
        duk_gc(ctx_, 0);  // what the failed script left behind goes before the next one
    }
    deadlineMicros_ = 0;
    running_ = false;
    return outcome;
}

}  // namespace hostsim
