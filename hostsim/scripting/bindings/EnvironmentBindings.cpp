// The script bindings of the environment: $, the global functions, ScriptUI's keyboard state,
// system, app.settings, app.scheduleTask and File/Folder (over ScriptEnvironment, model-free),
// isValid (over the model's handles), and the natives that need the engine itself ($.sleep,
// $.gc, $.line, $.stack, $.evalFile). A File or Folder call answers {v: value, e: error text}:
// the script half sets the object's `error` from it, as the host does instead of throwing.
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "base/Clock.h"
#include "duktape.h"
#include "scripting/Environment.h"
#include "scripting/ObjectModel.h"
#include "scripting/ScriptBindings.h"
#include "scripting/ScriptEngine.h"
#include "scripting/ScriptModel.h"
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

using nlohmann::json;
using Env = ScriptEnvironment;

std::string TextOr(const Call& c, std::size_t i, const std::string& fallback) {
    return c.At(i).type == Arg::Undefined ? fallback : c.Text(i);
}

// {v: value, e: ""} or {v: value, e: error}.
Out Io(json value, const std::string& error) { return json{{"v", std::move(value)}, {"e", error}}; }

const std::string& PathArg(const Call& c) { return c.Text(0); }
int IdArg(const Call& c) { return c.At(0).type == Arg::Number ? static_cast<int>(c.Number(0)) : 0; }

std::string Uname(bool release) {
    utsname name{};
    if (uname(&name) != 0) return "";
    return release ? name.release : name.sysname;
}

// The folders the host names (Folder.temp, ...), in the home.
std::string SpecialFolder(const Env& e, const std::string& which) {
    const std::string& home = e.GetConfig().home;
    if (home.empty()) return "";
    if (which == "temp") {  // made on first use, as a system's temporary folder is always there
        std::error_code ignored;
        std::filesystem::create_directory(home + "/tmp", ignored);
        return home + "/tmp";
    }
    if (which == "desktop") return home + "/Desktop";
    if (which == "myDocuments") return home + "/Documents";
    if (which == "userData" || which == "appData") return home + "/Library/Application Support";
    return home;
}

}  // namespace

std::span<const EnvOpEntry> EnvironmentOps() {
    static const EnvOpEntry ops[] = {
        // ---- output and dialogs
        {"$.write",
         [](Env& e, const Call& c) -> Out { return e.Write("console", c.Text(0)), Undefined{}; }},
        {"global.write",
         [](Env& e, const Call& c) -> Out { return e.Write("info", c.Text(0)), Undefined{}; }},
        {"global.clearOutput",
         [](Env& e, const Call&) -> Out { return e.Clear("info"), Undefined{}; }},
        {"global.alert",
         [](Env& e, const Call& c) -> Out {
             e.Alert(c.Text(0), TextOr(c, 1, "Script Alert"));
             return Undefined{};
         }},
        {"global.confirm",
         [](Env& e, const Call& c) -> Out {
             return e.Confirm(c.Text(0), c.At(1).flag, TextOr(c, 2, "Script Alert"));
         }},
        {"global.prompt",
         [](Env& e, const Call& c) -> Out {
             const auto answer =
                 e.Prompt(c.Text(0), TextOr(c, 1, ""), TextOr(c, 2, "Script Alert"));
             return answer ? Out(*answer) : Out(Null{});
         }},
        {"global.timeToCurrentFormat",
         [](Env&, const Call& c) -> Out {
             return TimeToTimecode(c.Number(0), c.Number(1), "timeToCurrentFormat");
         }},
        {"global.currentFormatToTime",
         [](Env&, const Call& c) -> Out {
             return TimecodeToTime(c.Text(0), c.Number(1), "currentFormatToTime");
         }},
        {"global.generateRandomNumber",
         [](Env&, const Call&) -> Out {
             static std::mt19937_64 generator{std::random_device{}()};
             return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
         }},
        {"keys.state",
         [](Env& e, const Call&) -> Out {
             return json{{"shiftKey", e.keys.shift},
                         {"ctrlKey", e.keys.ctrl},
                         {"altKey", e.keys.alt},
                         {"metaKey", e.keys.meta},
                         {"keyName", e.keys.keyName}};
         }},
        // ---- $ and system
        {"$.sleep",
         [](Env& e, const Call& c) -> Out {
             // Checked every 10 ms: false once the script must stop (its time limit, quit, a
             // signal), for the script half to throw as the engine does.
             const auto end = MonotonicMicros() +
                              static_cast<std::int64_t>(std::max(0.0, c.NumberOr(0, 0)) * 1000);
             for (;;) {
                 if (e.stop && e.stop()) return false;
                 const auto left = end - MonotonicMicros();
                 if (left <= 0) return true;
                 std::this_thread::sleep_for(
                     std::chrono::microseconds(std::min<std::int64_t>(left, 10'000)));
             }
         }},
        {"$.getenv",
         [](Env& e, const Call& c) -> Out {
             const auto value = e.GetEnv(c.Text(0));
             return value ? Out(*value) : Out(Null{});
         }},
        {"$.setenv",
         [](Env& e, const Call& c) -> Out { return e.SetEnv(c.Text(0), c.Text(1)), Undefined{}; }},
        {"$.micros",
         [](Env&, const Call&) -> Out { return static_cast<double>(MonotonicMicros()); }},
        {"$.os", [](Env&, const Call&) -> Out { return Uname(false) + " " + Uname(true); }},
        {"system.osName", [](Env&, const Call&) -> Out { return Uname(false); }},
        {"system.osVersion", [](Env&, const Call&) -> Out { return Uname(true); }},
        {"system.userName",
         [](Env& e, const Call&) -> Out {
             const auto user = e.GetEnv("USER");
             return user ? *user : std::string();
         }},
        {"system.machineName",
         [](Env&, const Call&) -> Out {
             char name[256] = {};
             gethostname(name, sizeof name - 1);
             return std::string(name);
         }},
        {"system.callSystem",
         [](Env& e, const Call& c) -> Out {
             return e.CallSystem(c.Text(0), [&e] { return e.stop && e.stop(); });
         }},
        // ---- app.settings and tasks
        {"settings.haveSetting",
         [](Env& e, const Call& c) -> Out {
             return e.HaveSetting(c.NumberOr(2, 0), c.Text(0), c.Text(1));
         }},
        {"settings.getSetting",
         [](Env& e, const Call& c) -> Out {
             return e.GetSetting(c.NumberOr(2, 0), c.Text(0), c.Text(1));
         }},
        {"settings.saveSetting",
         [](Env& e, const Call& c) -> Out {
             e.SaveSetting(c.NumberOr(3, 0), c.Text(0), c.Text(1), c.Text(2));
             return Undefined{};
         }},
        {"app.scheduleTask",
         [](Env& e, const Call& c) -> Out {
             return static_cast<double>(
                 e.Schedule(c.Text(0), c.Number(1), c.At(2).flag, MonotonicMicros()));
         }},
        {"app.cancelTask",
         [](Env& e, const Call& c) -> Out {
             return e.Cancel(static_cast<std::int64_t>(c.Number(0))), Undefined{};
         }},
        // ---- File and Folder
        {"file.absolute",
         [](Env& e, const Call& c) -> Out { return e.Files().Absolute(c.Text(0)); }},
        {"file.names",
         [](Env& e, const Call& c) -> Out {
             HomeFiles& f = e.Files();
             const std::string& p = PathArg(c);
             const auto slash = p.rfind('/');
             const std::string parent = slash == 0 ? "/" : p.substr(0, slash);
             const std::string name = p.substr(slash + 1);
             std::string relative = f.Uri(p);
             if (p.starts_with(f.Current() + "/"))
                 relative = HomeFiles::Encode(p.substr(f.Current().size() + 1));
             return json{{"name", HomeFiles::Encode(name)},
                         {"displayName", name},
                         {"fsName", p},
                         {"absoluteURI", f.Uri(p)},
                         {"path", f.Uri(parent)},
                         {"parent", p == "/" ? json(nullptr) : json(parent)},
                         {"relativeURI", relative}};
         }},
        {"file.exists",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             return e.Files().Exists(PathArg(c), error);
         }},
        {"file.isFolder",
         [](Env& e, const Call& c) -> Out { return e.Files().IsFolder(PathArg(c)); }},
        {"file.length",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const auto n = e.Files().Length(PathArg(c), error);
             return Io(std::max<std::int64_t>(n, 0), error);
         }},
        {"file.setLength",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const double n = c.Number(1);
             return Io(e.Files().SetLength(PathArg(c), static_cast<std::int64_t>(n), error), error);
         }},
        {"file.modified",
         [](Env& e, const Call& c) -> Out {
             const auto ms = e.Files().Modified(PathArg(c));
             return ms ? Out(*ms) : Out(Null{});
         }},
        {"file.open",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const int id = e.Files().Open(PathArg(c), c.Text(1), error);
             return Io(id, error);
         }},
        {"file.close", [](Env& e, const Call& c) -> Out { return e.Files().Close(IdArg(c)); }},
        {"file.read",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const auto n =
                 c.At(1).type == Arg::Number ? static_cast<std::int64_t>(c.At(1).number) : -1;
             const auto text = e.Files().Read(IdArg(c), n, c.At(2).flag, error);
             return Io(text ? json(*text) : json(nullptr), error);
         }},
        {"file.readln",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const auto text = e.Files().ReadLine(IdArg(c), c.At(1).flag, error);
             return Io(text ? json(*text) : json(nullptr), error);
         }},
        {"file.write",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             return Io(e.Files().Write(IdArg(c), c.Text(1), c.At(2).flag, error), error);
         }},
        {"file.eof", [](Env& e, const Call& c) -> Out { return e.Files().Eof(IdArg(c)); }},
        {"file.seek",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const auto to = static_cast<std::int64_t>(c.Number(1));
             return Io(e.Files().Seek(IdArg(c), to, static_cast<int>(c.NumberOr(2, 0)), error),
                       error);
         }},
        {"file.tell",
         [](Env& e, const Call& c) -> Out {
             return static_cast<double>(e.Files().Tell(IdArg(c)));
         }},
        {"file.remove",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             return Io(e.Files().Remove(PathArg(c), error), error);
         }},
        {"file.rename",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const auto to = e.Files().Rename(PathArg(c), c.Text(1), error);
             return Io(to ? json(*to) : json(nullptr), error);
         }},
        {"file.copy",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const std::string to = e.Files().Absolute(c.Text(1));
             return Io(e.Files().Copy(PathArg(c), to, error), error);
         }},
        {"file.encode", [](Env&, const Call& c) -> Out { return HomeFiles::Encode(c.Text(0)); }},
        {"file.decode", [](Env&, const Call& c) -> Out { return HomeFiles::Decode(c.Text(0)); }},
        {"folder.create",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             return Io(e.Files().CreateFolder(PathArg(c), error), error);
         }},
        {"folder.getFiles",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             const auto list = e.Files().List(PathArg(c), TextOr(c, 1, ""), error);
             return Io(list ? json(*list) : json(nullptr), error);
         }},
        {"folder.current", [](Env& e, const Call&) -> Out { return e.Files().Current(); }},
        {"folder.current=",
         [](Env& e, const Call& c) -> Out {
             std::string error;
             return Io(e.Files().SetCurrent(c.Text(0), error), error);
         }},
        {"folder.special",
         [](Env& e, const Call& c) -> Out { return SpecialFolder(e, c.Text(0)); }},
    };
    return ops;
}

// isValid(object): a reference the model still resolves. The script half passes the kind
// ("i" an item, "n" a layer, group or property, "v" the viewer) and the handle.
std::span<const OpEntry> GlobalOps() {
    static const OpEntry ops[] = {
        {"global.isValid",
         [](Scene& s, const Call& c) -> Out {
             const std::string& kind = c.Text(0);
             if (kind == "i") return s.FindItem(c.ItemId()) != nullptr;
             if (kind == "n") return s.Resolve(c.Handle()) != nullptr;
             return true;
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings

namespace hostsim {
namespace {

ScriptEngine* EngineOf(duk_context* ctx) {
    duk_memory_functions functions{};
    duk_get_memory_functions(ctx, &functions);
    return static_cast<ScriptEngine*>(functions.udata);
}

// The script's own frames, innermost first: [function name, line].
std::vector<std::pair<std::string, int>> ScriptFrames(duk_context* ctx) {
    std::vector<std::pair<std::string, int>> frames;
    for (duk_int_t level = -1; level > -64; --level) {
        duk_inspect_callstack_entry(ctx, level);
        if (duk_is_undefined(ctx, -1)) {
            duk_pop(ctx);
            break;
        }
        duk_get_prop_string(ctx, -1, "lineNumber");
        const int line = duk_get_int(ctx, -1);
        duk_get_prop_string(ctx, -2, "function");
        duk_get_prop_string(ctx, -1, "fileName");
        const bool script =
            duk_is_string(ctx, -1) && std::string(duk_get_string(ctx, -1)) == "script";
        duk_get_prop_string(ctx, -2, "name");
        const std::string name = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
        duk_pop_n(ctx, 5);
        if (script) frames.emplace_back(name, line);
    }
    return frames;
}

duk_ret_t NativeLine(duk_context* ctx) {
    const auto frames = ScriptFrames(ctx);
    duk_push_int(ctx, frames.empty() ? 0 : frames.front().second);
    return 1;
}

// "[script]" then each function called, outermost first, as the host's stack reads.
duk_ret_t NativeStack(duk_context* ctx) {
    const auto frames = ScriptFrames(ctx);
    std::string text;
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        text += (it->first.empty() || it == frames.rbegin() ? std::string("[script]")
                                                            : it->first + "()") +
                "\n";
    duk_push_lstring(ctx, text.data(), text.size());
    return 1;
}

duk_ret_t NativeGc(duk_context* ctx) {
    duk_gc(ctx, 0);
    return 0;
}

duk_ret_t NativeMemoryInUse(duk_context* ctx) {
    duk_push_number(ctx, static_cast<double>(EngineOf(ctx)->MemoryInUse()));
    return 1;
}

// environmentModel(): the environment's script half, as the function that installs it.
duk_ret_t NativeEnvironmentModel(duk_context* ctx) {
    duk_eval_string(ctx, kEnvironmentModel);
    return 1;
}

// evalSource(text, name): compiles and runs the text in the global scope; its value.
duk_ret_t NativeEvalSource(duk_context* ctx) {
    duk_dup(ctx, 0);
    duk_push_string(ctx, "script");
    duk_compile(ctx, DUK_COMPILE_EVAL);
    duk_call(ctx, 0);
    return 1;
}

}  // namespace

void PutEnvironmentNatives(duk_hthread* ctx) {
    static const duk_function_list_entry natives[] = {
        {"line", NativeLine, 0},
        {"stack", NativeStack, 0},
        {"gc", NativeGc, 0},
        {"memoryInUse", NativeMemoryInUse, 0},
        {"evalSource", NativeEvalSource, 2},
        {"environmentModel", NativeEnvironmentModel, 0},
        {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, natives);
}

}  // namespace hostsim
