#include "ScriptEngine.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Clock.h"
#include "Project.h"
#include "ScriptBindings.h"
#include "Utf8.h"
#include "duktape.h"

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

// The object model's script half, over the natives of ScriptBindings: the classes the host
// has (so that instanceof works), collections, accessors and the callable property groups.
// Every read asks the host afresh, so objects always show its current state.
constexpr const char* kObjectModel = R"JS((function (cb, global, dialect) {
  var def = Object.defineProperty, create = Object.create, setProto = Object.setPrototypeOf,
      freeze = Object.freeze;
  // Every call into the host: the result, or the host's error thrown here.
  function op() {
    var r = cb.op.apply(null, arguments);
    if (r !== null && typeof r === 'object' && !(r instanceof Array) && typeof r.error === 'string')
      throw new Error(r.error);
    return r;
  }
  function cls(name, base) {
    var f = function () {};
    if (base) f.prototype = create(base.prototype);
    def(f.prototype, 'constructor', { value: f });
    def(global, name, { value: f, writable: true, configurable: true });
    return f;
  }
  var PropertyBase = cls('PropertyBase'), PropertyGroup = cls('PropertyGroup', PropertyBase),
      Property = cls('Property', PropertyBase), Layer = cls('Layer', PropertyGroup),
      AVLayer = cls('AVLayer', Layer), Item = cls('Item'), CompItem = cls('CompItem', Item),
      FootageItem = cls('FootageItem', Item), FolderItem = cls('FolderItem', Item),
      Viewer = cls('Viewer'), ItemCollection = cls('ItemCollection'),
      LayerCollection = cls('LayerCollection');
  var kinds = { c: CompItem, f: FootageItem, d: FolderItem, l: AVLayer, p: Property, v: Viewer };
  // [kind, id] from the host as the object a script holds. A group is callable, as in the
  // host: group(name) is group.property(name).
  function wrap(r) {
    if (r === null || r === undefined) return r;
    var o;
    if (r[0] === 'g') {
      o = function (x) { return o.property(x); };
      setProto(o, PropertyGroup.prototype);
    } else {
      o = create(kinds[r[0]].prototype);
    }
    def(o, '_h', { value: r[1] });
    return o;
  }
  function wrapAll(list) {
    var out = [];
    for (var i = 0; i < list.length; i++) out.push(wrap(list[i]));
    return out;
  }
  var ONE = 1, ALL = 2;
  function attr(proto, name, getOp, setOp, wraps) {
    def(proto, name, {
      get: function () {
        var v = op(getOp, this._h);
        return wraps === ONE ? wrap(v) : wraps === ALL ? wrapAll(v) : v;
      },
      set: function (v) {
        if (!setOp) throw new Error('Unable to set "' + name + '". It is read-only.');
        op(setOp, this._h, v);
      },
      configurable: true
    });
  }
  function attrs(proto, prefix, names) {
    for (var i = 0; i < names.length; i++) attr(proto, names[i], prefix + names[i]);
  }
  function method(proto, name, opName, wraps) {
    def(proto, name, {
      value: function () {
        var args = [opName, this._h];
        for (var i = 0; i < arguments.length; i++) args.push(arguments[i]);
        var v = op.apply(null, args);
        return wraps === ONE ? wrap(v) : wraps === ALL ? wrapAll(v) : v;
      },
      writable: true, configurable: true
    });
  }
  function shortcut(proto, name, matchName) {
    def(proto, name, { get: function () { return this.property(matchName); }, configurable: true });
  }

  // ---- items ----
  def(Item.prototype, 'id', { get: function () { return this._h; } });
  attr(Item.prototype, 'name', 'item.name', 'item.name=');
  attr(Item.prototype, 'typeName', 'item.typeName');
  attr(Item.prototype, 'selected', 'item.selected', 'item.selected=');
  attr(Item.prototype, 'parentFolder', 'item.parentFolder', null, ONE);
  var C = CompItem.prototype;
  attrs(C, 'comp.', ['duration', 'frameRate', 'frameDuration', 'workAreaStart', 'workAreaDuration',
                     'width', 'height', 'pixelAspect', 'numLayers']);
  attr(C, 'time', 'comp.time', 'comp.time=');
  attr(C, 'hideShyLayers', 'comp.hideShyLayers', 'comp.hideShyLayers=');
  attr(C, 'selectedLayers', 'comp.selectedLayers', null, ALL);
  attr(C, 'selectedProperties', 'comp.selectedProperties', null, ALL);
  method(C, 'layer', 'comp.layer', ONE);
  method(C, 'openInViewer', 'comp.openInViewer', ONE);
  def(C, 'layers', {
    get: function () {
      var list = wrapAll(op('comp.layers', this._h)), c = create(LayerCollection.prototype);
      def(c, '_h', { value: this._h });
      def(c, 'length', { value: list.length });
      for (var i = 0; i < list.length; i++) c[i + 1] = list[i];
      return c;
    }
  });
  method(LayerCollection.prototype, 'addSolid', 'comp.addSolid', ONE);
  method(LayerCollection.prototype, 'addNull', 'comp.addNull', ONE);
  def(LayerCollection.prototype, 'byName', {
    value: function (name) { return wrap(op('comp.layer', this._h, String(name))); }
  });

  // ---- property groups, properties and layers ----
  var B = PropertyBase.prototype, G = PropertyGroup.prototype, P = Property.prototype,
      L = AVLayer.prototype;
  attr(B, 'name', 'node.name');
  attrs(B, 'node.', ['matchName', 'propertyIndex', 'propertyDepth', 'isEffect']);
  attr(B, 'parentProperty', 'node.parentProperty', null, ONE);
  attr(B, 'selected', 'node.selected', 'node.selected=');
  attr(G, 'numProperties', 'group.numProperties');
  method(G, 'property', 'group.property', ONE);
  method(G, 'canAddProperty', 'group.canAddProperty');
  method(G, 'addProperty', 'group.addProperty', ONE);
  method(G, 'remove', 'group.remove');
  shortcut(G, 'transform', 'ADBE Transform Group');
  shortcut(G, 'effect', 'ADBE Effect Parade');
  shortcut(G, 'anchorPoint', 'ADBE Anchor Point');
  shortcut(G, 'position', 'ADBE Position');
  shortcut(G, 'scale', 'ADBE Scale');
  shortcut(G, 'rotation', 'ADBE Rotate Z');
  shortcut(G, 'zRotation', 'ADBE Rotate Z');
  shortcut(G, 'opacity', 'ADBE Opacity');
  attrs(P, 'prop.', ['value', 'numKeys', 'isTimeVarying', 'propertyValueType', 'hasMin', 'hasMax',
                     'minValue', 'maxValue']);
  def(P, 'canVaryOverTime', { value: true });
  var propMethods = ['setValue', 'setValueAtTime', 'valueAtTime', 'addKey', 'keyTime', 'keyValue',
                     'removeKey', 'nearestKeyIndex'];
  for (var m = 0; m < propMethods.length; m++) method(P, propMethods[m], 'prop.' + propMethods[m]);
  attr(L, 'name', 'node.name', 'layer.name=');
  attrs(L, 'layer.', ['index', 'active', 'nullLayer', 'inPoint', 'outPoint', 'startTime']);
  var switches = ['selected', 'enabled', 'solo', 'shy', 'locked'];
  for (var s = 0; s < switches.length; s++)
    attr(L, switches[s], 'layer.' + switches[s], 'layer.' + switches[s] + '=');
  attr(L, 'containingComp', 'layer.containingComp', null, ONE);
  attr(L, 'selectedProperties', 'layer.selectedProperties', null, ALL);
  method(L, 'remove', 'layer.remove');

  // ---- the project, the viewer and the application ----
  var project = {};
  attr(project, 'numItems', 'project.numItems');
  attr(project, 'activeItem', 'project.activeItem', null, ONE);
  attr(project, 'selection', 'project.selection', null, ALL);
  method(project, 'item', 'project.item', ONE);
  method(project, 'itemByID', 'project.itemByID', ONE);
  def(project, 'items', {
    get: function () {
      var list = wrapAll(op('project.items', 0)), c = create(ItemCollection.prototype);
      def(c, 'length', { value: list.length });
      for (var i = 0; i < list.length; i++) c[i + 1] = list[i];
      return c;
    }
  });
  method(ItemCollection.prototype, 'addComp', 'project.addComp', ONE);
  method(ItemCollection.prototype, 'addFolder', 'project.addFolder', ONE);
  var ViewerType = freeze({ VIEWER_COMPOSITION: 6401, VIEWER_LAYER: 6402, VIEWER_FOOTAGE: 6403 });
  def(global, 'ViewerType', { value: ViewerType, writable: true, configurable: true });
  def(global, 'PropertyValueType', {
    value: freeze({ NO_VALUE: 6412, ThreeD_SPATIAL: 6413, ThreeD: 6414, TwoD_SPATIAL: 6415,
                    TwoD: 6416, OneD: 6417, COLOR: 6418 }),
    writable: true, configurable: true });
  def(Viewer.prototype, 'type', { value: ViewerType.VIEWER_COMPOSITION });
  attr(Viewer.prototype, 'active', 'viewer.active');
  method(Viewer.prototype, 'setActive', 'viewer.setActive');

  var effects = cb.effects();
  for (var e = 0; e < effects.length; e++) freeze(effects[e]);
  freeze(effects);
  var app = {};
  def(app, 'effects', { value: effects, enumerable: true });
  def(app, 'project', { value: project, enumerable: true });
  def(app, 'isoLanguage', { get: function () { return cb.language(); }, enumerable: true });
  def(app, 'version', { get: function () { return cb.version(); }, enumerable: true });
  attr(app, 'activeViewer', 'app.activeViewer', null, ONE);
  app.executeCommand = function (n) {
    if (typeof n !== 'number')
      throw new Error('Unable to call "executeCommand" because of parameter 1. Value is not a number.');
    cb.exec(n);
  };
  app.findMenuCommandId = function (name) { return cb.findMenuCommandId(String(name)); };
  app.beginUndoGroup = function (name) { op('app.beginUndoGroup', 0, name); };
  app.endUndoGroup = function () { op('app.endUndoGroup', 0); };
  def(global, 'app', { value: app, enumerable: false, writable: false, configurable: false });

  if (dialect !== 'classic') return;
  // The host's own language predates these; a script using them fails there, so here too.
  function drop(owner, names) {
    for (var i = 0; i < names.length; i++) delete owner[names[i]];
  }
  drop(Object, ['keys', 'create', 'defineProperty', 'defineProperties', 'getPrototypeOf',
                'setPrototypeOf', 'getOwnPropertyNames', 'getOwnPropertyDescriptor',
                'getOwnPropertySymbols', 'freeze', 'isFrozen', 'seal', 'isSealed',
                'preventExtensions', 'isExtensible', 'assign', 'is', 'entries', 'values']);
  drop(Array, ['isArray', 'from', 'of']);
  drop(Array.prototype, ['forEach', 'map', 'filter', 'reduce', 'reduceRight', 'some', 'every',
                         'indexOf', 'lastIndexOf', 'find', 'findIndex', 'includes', 'fill',
                         'copyWithin', 'entries', 'keys', 'values']);
  drop(String, ['fromCodePoint', 'raw']);
  drop(String.prototype, ['trim', 'trimStart', 'trimEnd', 'trimLeft', 'trimRight', 'startsWith',
                          'endsWith', 'includes', 'repeat', 'padStart', 'padEnd', 'codePointAt',
                          'normalize']);
  drop(Function.prototype, ['bind']);
  drop(Date, ['now']);
  drop(Date.prototype, ['toISOString', 'toJSON']);
  drop(Number, ['isFinite', 'isInteger', 'isNaN', 'isSafeInteger', 'parseFloat', 'parseInt',
                'EPSILON', 'MAX_SAFE_INTEGER', 'MIN_SAFE_INTEGER']);
  drop(Math, ['trunc', 'sign', 'cbrt', 'log2', 'log10', 'log1p', 'expm1', 'hypot', 'clz32',
              'fround', 'imul', 'cosh', 'sinh', 'tanh', 'acosh', 'asinh', 'atanh']);
  drop(global, ['JSON', 'Reflect', 'Proxy', 'Symbol', 'Promise', 'ArrayBuffer', 'DataView',
                'Int8Array', 'Uint8Array', 'Uint8ClampedArray', 'Int16Array', 'Uint16Array',
                'Int32Array', 'Uint32Array', 'Float32Array', 'Float64Array', 'TextEncoder',
                'TextDecoder', 'performance', 'globalThis', 'Duktape', 'CBOR', 'Map', 'Set',
                'WeakMap', 'WeakSet']);
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

ScriptEngine::ScriptEngine(ScriptModel& model, std::size_t memoryLimit, ScriptDialect dialect)
    : model_(model), memoryLimit_(memoryLimit) {
    ctx_ = duk_create_heap(Allocate, Reallocate, Free, this, FatalHandler);
    if (ctx_ == nullptr) {
        std::fprintf(stderr, "cuebridge-hostsim: cannot create the script engine\n");
        std::exit(2);
    }
    InstallObjectModel(dialect);
}

ScriptEngine::~ScriptEngine() { duk_destroy_heap(ctx_); }

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
ScriptOutcome ScriptEngine::Run(const std::string& source, std::int64_t timeoutMs) {
    if (running_) return {"", "Error: a script is already running"};
    running_ = true;
    deadlineMicros_ = timeoutMs > 0 ? MonotonicMicros() + timeoutMs * 1000 : 0;
    memoryExhausted_ = false;
    allocationStopped_ = false;
    ScriptOutcome outcome;
    duk_push_lstring(ctx_, source.data(), source.size());
    duk_push_string(ctx_, "script");
    if (duk_pcompile(ctx_, DUK_COMPILE_EVAL) != 0) {
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
    model_.GetProject().With([](model::Scene& scene) { scene.EndScript(); });
    if (!outcome.error.empty() && memoryExhausted_) {
        // The engine's own text ("alloc failed") does not say which bound was reached.
        if (!allocationStopped_)
            outcome.error = "RangeError: out of memory: the script needed more than the " +
                            std::to_string(memoryLimit_ >> 20) +
                            " MiB the script engine may hold (--script-memory-mb); " +
                            outcome.error;
        duk_gc(ctx_, 0);  // what the failed script left behind goes before the next one
    }
    deadlineMicros_ = 0;
    running_ = false;
    return outcome;
}

}  // namespace hostsim
