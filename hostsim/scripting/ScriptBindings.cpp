#include "scripting/ScriptBindings.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "base/Utf8.h"
#include "duktape.h"
#include "model/ModelError.h"
#include "scripting/ObjectModel.h"
#include "scripting/ScriptEngine.h"
#include "scripting/bindings/Binding.h"

namespace hostsim {
namespace {

using namespace bindings;

// Every class's table in one map: "<class>.<member>" to its operation.
const std::unordered_map<std::string_view, Op>& Ops() {
    static const auto ops = [] {
        std::unordered_map<std::string_view, Op> map;
        for (const auto table :
             {AppOps(), ViewerOps(), ProjectOps(), ItemOps(), CompItemOps(), LayerOps(),
              PropertyBaseOps(), PropertyGroupOps(), PropertyOps(), LayerCollectionOps(),
              TextDocumentOps(), MarkerOps(), GlobalOps(), LayerSpaceOps(), FootageOps()})
            for (const OpEntry& entry : table) map.emplace(entry.name, entry.op);
        for (const OpEntry& entry : MaskOps()) map.emplace(entry.name, entry.op);
        return map;
    }();
    return ops;
}

// The environment's operations: "<object>.<member>" to its operation.
const std::unordered_map<std::string_view, EnvOp>& EnvOps() {
    static const auto ops = [] {
        std::unordered_map<std::string_view, EnvOp> map;
        for (const EnvOpEntry& entry : EnvironmentOps()) map.emplace(entry.name, entry.op);
        for (const EnvOpEntry& entry : FootageFileOps()) map.emplace(entry.name, entry.op);
        return map;
    }();
    return ops;
}

// ---- The engine side ---------------------------------------------------------------------
//
// The engine reports an error by jumping (longjmp) to its nearest protected call. Between a
// native's entry and that call there must be no C++ frame that holds something to destroy, or
// what it holds is lost. So every engine call that can throw while C++ values are alive (a
// script's getter runs while an argument is read; an allocation can fail while a result is
// pushed) is made inside Protected, and a native throws only once its C++ values are gone.

// Runs f(ctx) in a protected call: true with f's value (or undefined) on top, or false with
// what the engine threw on top. f holds nothing that needs destroying and pushes at most one
// value.
template <typename F>
bool Protected(duk_context* ctx, F& f) {
    const auto trampoline = [](duk_context* c, void* udata) -> duk_ret_t {
        return (*static_cast<F*>(udata))(c);
    };
    return duk_safe_call(ctx, trampoline, &f, 0, 1) == DUK_EXEC_SUCCESS;
}

// Reads the value at `at` into arg (which the caller owns, so that a throw loses nothing).
void ReadArg(duk_context* ctx, duk_idx_t at, Arg& arg) {
    switch (duk_get_type(ctx, at)) {
        case DUK_TYPE_UNDEFINED:
        case DUK_TYPE_NONE:
            arg.type = Arg::Undefined;
            break;
        case DUK_TYPE_NULL:
            arg.type = Arg::Null;
            break;
        case DUK_TYPE_BOOLEAN:
            arg.type = Arg::Bool;
            arg.flag = duk_get_boolean(ctx, at) != 0;
            break;
        case DUK_TYPE_NUMBER:
            arg.type = Arg::Number;
            arg.number = duk_get_number(ctx, at);
            arg.flag = arg.number != 0 && !std::isnan(arg.number);
            break;
        case DUK_TYPE_STRING: {
            duk_size_t length = 0;
            const char* text = duk_get_lstring(ctx, at, &length);
            arg.type = Arg::Text;
            arg.text = ToValidUtf8(std::string_view(text, length));
            arg.flag = length > 0;
            break;
        }
        default:
            arg.flag = true;
            arg.type = Arg::Other;
            if (duk_is_array(ctx, at)) {
                at = duk_normalize_index(ctx, at);
                arg.type = Arg::Numbers;
                const auto n = duk_get_length(ctx, at);
                for (duk_size_t i = 0; i < n && arg.type == Arg::Numbers; ++i) {
                    duk_get_prop_index(ctx, at, static_cast<duk_uarridx_t>(i));  // may run a getter
                    if (duk_is_number(ctx, -1))
                        arg.numbers.push_back(duk_get_number(ctx, -1));
                    else
                        arg.type = Arg::Other;
                    duk_pop(ctx);
                }
            }
            if (arg.type == Arg::Other) {
                // Runs a script's toJSON or getters, and throws on a cycle: the caller reads
                // inside a protected call.
                duk_dup(ctx, at);
                const char* encoded = duk_json_encode(ctx, -1);
                arg.json = encoded ? nlohmann::json::parse(encoded, nullptr, false) : nullptr;
                duk_pop(ctx);
            }
    }
}

// Array elements are defined, not assigned, so that nothing a script put on Array.prototype
// sees or changes them.
void PutElement(duk_context* ctx, std::size_t index) {
    duk_push_uint(ctx, static_cast<duk_uint_t>(index));
    duk_swap_top(ctx, -2);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_ENUMERABLE |
                     DUK_DEFPROP_SET_CONFIGURABLE);
}

// [kind, id]: read only by the script half, so an array without a prototype.
void PushRef(duk_context* ctx, const Ref& ref) {
    duk_push_bare_array(ctx);
    const char kind[2] = {ref.kind, 0};
    duk_push_string(ctx, kind);
    duk_put_prop_index(ctx, -2, 0);
    duk_push_number(ctx, ref.id);
    duk_put_prop_index(ctx, -2, 1);
}

void Push(duk_context* ctx, const Out& out) {
    struct Visitor {
        duk_context* ctx;
        void operator()(Undefined) const { duk_push_undefined(ctx); }
        void operator()(Null) const { duk_push_null(ctx); }
        void operator()(bool b) const { duk_push_boolean(ctx, b); }
        void operator()(double d) const { duk_push_number(ctx, d); }
        void operator()(const std::string& s) const { duk_push_lstring(ctx, s.data(), s.size()); }
        void operator()(const std::vector<double>& v) const {
            duk_push_array(ctx);
            for (std::size_t i = 0; i < v.size(); ++i) {
                duk_push_number(ctx, v[i]);
                PutElement(ctx, i);
            }
        }
        void operator()(const Ref& r) const { PushRef(ctx, r); }
        void operator()(const nlohmann::json& j) const {
            const std::string text =
                j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
            duk_push_lstring(ctx, text.data(), text.size());
            duk_json_decode(ctx, -1);
        }
        void operator()(const std::vector<Ref>& refs) const {
            duk_push_array(ctx);
            for (std::size_t i = 0; i < refs.size(); ++i) {
                PushRef(ctx, refs[i]);
                PutElement(ctx, i);
            }
        }
    };
    std::visit(Visitor{ctx}, out);
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

// How a native's C++ part ended; in each case one value is on top of the stack.
enum class Ending {
    Result,   // the result
    Refused,  // the host's error text
    Thrown,   // what the engine threw meanwhile (a script's getter, a failed allocation)
};

// Pushes the result, or the refusal's text, protected.
Ending PushOutcome(duk_context* ctx, const Out& out, const std::string& problem) {
    auto push = [&](duk_context* c) -> duk_ret_t {
        if (problem.empty())
            Push(c, out);
        else
            duk_push_lstring(c, problem.data(), problem.size());
        return 1;
    };
    if (!Protected(ctx, push)) return Ending::Thrown;
    return problem.empty() ? Ending::Result : Ending::Refused;
}

// op(name, handle, args...), or with `listed` opList(name, handle, arrayLike): looks the
// operation up and runs it on the model. Nothing is thrown from here.
Ending RunOp(duk_context* ctx, bool listed) {
    const duk_idx_t top = duk_get_top(ctx);
    duk_size_t nameLength = 0;
    const char* nameText = duk_get_lstring(ctx, 0, &nameLength);
    const std::string name = nameText ? std::string(nameText, nameLength) : std::string();
    Call call;
    const auto dot = name.find('.');
    call.method = std::string_view(name).substr(dot == std::string::npos ? 0 : dot + 1);
    if (!call.method.empty() && call.method.back() == '=') call.method.remove_suffix(1);
    call.handle = duk_is_number(ctx, 1) ? duk_get_number(ctx, 1) : 0;
    auto read = [&](duk_context* c) -> duk_ret_t {
        if (!listed) {
            for (duk_idx_t i = 2; i < top; ++i) ReadArg(c, i, call.args.emplace_back());
            return 0;
        }
        if (!duk_is_object(c, 2)) return 0;
        const duk_size_t n = duk_get_length(c, 2);
        call.args.reserve(n);
        for (duk_size_t i = 0; i < n; ++i) {
            duk_get_prop_index(c, 2, static_cast<duk_uarridx_t>(i));
            ReadArg(c, -1, call.args.emplace_back());
            duk_pop(c);
        }
        return 0;
    };
    if (!Protected(ctx, read)) return Ending::Thrown;
    duk_pop(ctx);
    const auto& ops = Ops();
    const auto it = ops.find(name);
    std::string problem;
    Out out;
    try {
        const auto env = it == ops.end() ? EnvOps().find(name) : EnvOps().end();
        if (env != EnvOps().end())
            out = env->second(ModelOf(ctx).Environment(), call);
        else if (it == ops.end())
            throw ModelError("no such operation: " + name);
        else
            ModelOf(ctx).WithScene([&](Scene& scene) { out = it->second(scene, call); });
    } catch (const ModelError& e) {
        problem = e.what();
    } catch (const std::exception& e) {
        problem = std::string("internal error: ") + e.what();
    }
    return PushOutcome(ctx, out, problem);
}

// Past every C++ frame of a native: returns the result, or throws the host's Error (the
// refusal's text as its message) or what the engine threw.
duk_ret_t End(duk_context* ctx, Ending ending) {
    if (ending == Ending::Result) return 1;
    if (ending == Ending::Refused) {
        // No C file and line: the error belongs to the script's call.
        duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", "");
        duk_swap_top(ctx, -2);
        duk_put_prop_string(ctx, -2, "message");  // the text whole, U+0000 included
    }
    return duk_throw(ctx);
}

// op(name, handle, args...): the operation's result, or the host's error thrown as an Error.
duk_ret_t NativeOp(duk_context* ctx) { return End(ctx, RunOp(ctx, false)); }

// opList(name, handle, arrayLike): the same with the arguments in an array-like (a method's
// own arguments object), so that the script half copies nothing.
duk_ret_t NativeOpList(duk_context* ctx) { return End(ctx, RunOp(ctx, true)); }

duk_ret_t NativeEffects(duk_context* ctx) {
    const auto effects = ModelOf(ctx).Effects();
    duk_push_array(ctx);
    for (std::size_t i = 0; i < effects.size(); ++i) {
        duk_push_object(ctx);
        for (const auto& [key, text] : {std::pair{"matchName", &effects[i].matchName},
                                        std::pair{"displayName", &effects[i].displayName},
                                        std::pair{"category", &effects[i].category}}) {
            const std::string valid = ToValidUtf8(*text);
            duk_push_lstring(ctx, valid.data(), valid.size());
            duk_put_prop_string(ctx, -2, key);
        }
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
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

// A command number is a whole number from 0 to 2^31 - 1; anything else is refused rather
// than truncated or clamped into another command.
Ending RunCommand(duk_context* ctx) {
    const double n = duk_get_number(ctx, 0);
    std::string problem;
    try {
        if (!std::isfinite(n) || n != std::floor(n))
            model::ThrowParameter("executeCommand", 1, "Value is not a whole number.");
        if (n < 0 || n > std::numeric_limits<std::int32_t>::max())
            model::ThrowParameterRange("executeCommand", 1, n, 0,
                                       std::numeric_limits<std::int32_t>::max());
        ModelOf(ctx).ExecuteCommand(static_cast<std::int32_t>(n));
    } catch (const ModelError& e) {
        problem = e.what();
    } catch (const std::exception& e) {
        problem = std::string("internal error: ") + e.what();
    }
    return PushOutcome(ctx, Undefined{}, problem);
}

duk_ret_t NativeExecuteCommand(duk_context* ctx) {
    if (!duk_is_number(ctx, 0)) return 0;  // the script half reports the wrong type
    return End(ctx, RunCommand(ctx));
}

duk_ret_t NativeFindMenuCommandId(duk_context* ctx) {
    const std::string name = duk_safe_to_string(ctx, 0);
    duk_push_int(ctx, ModelOf(ctx).FindMenuCommandId(name));
    return 1;
}

// members(): the host's member list (members.json, built into the program), parsed.
duk_ret_t NativeMembers(duk_context* ctx) {
    duk_push_string(ctx, kMemberList);
    duk_json_decode(ctx, -1);
    return 1;
}

// keepMemberReport(f): keeps the object model's report function where scripts cannot reach it.
duk_ret_t NativeKeepMemberReport(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_dup(ctx, 0);
    duk_put_prop_string(ctx, -2,
                        "\xff"
                        "memberReport");
    return 0;
}

}  // namespace

MemberReport ReportMembers(duk_hthread* ctx) {
    MemberReport report;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1,
                        "\xff"
                        "memberReport");
    if (duk_pcall(ctx, 0) != 0) {
        report.faults.push_back(duk_safe_to_string(ctx, -1));
        duk_pop_2(ctx);
        return report;
    }
    duk_get_prop_string(ctx, -1, "status");
    report.json = duk_json_encode(ctx, -1);
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, "faults");
    const auto n = duk_get_length(ctx, -1);
    for (duk_size_t i = 0; i < n; ++i) {
        duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(i));
        report.faults.push_back(duk_safe_to_string(ctx, -1));
        duk_pop(ctx);
    }
    duk_pop_3(ctx);
    return report;
}

void SetBindingsModel(duk_context* ctx, ScriptModel* model) {
    duk_push_global_stash(ctx);
    duk_push_pointer(ctx, model);
    duk_put_prop_string(ctx, -2,
                        "\xff"
                        "model");
    duk_pop(ctx);
}

void PutScriptBindings(duk_context* ctx) {
    static const duk_function_list_entry natives[] = {
        {"op", NativeOp, DUK_VARARGS},
        {"opList", NativeOpList, 3},
        {"effects", NativeEffects, 0},
        {"language", NativeLanguage, 0},
        {"version", NativeVersion, 0},
        {"exec", NativeExecuteCommand, 1},
        {"findMenuCommandId", NativeFindMenuCommandId, 1},
        {"members", NativeMembers, 0},
        {"keepMemberReport", NativeKeepMemberReport, 1},
        {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, natives);
    PutEnvironmentNatives(ctx);
}

}  // namespace hostsim
