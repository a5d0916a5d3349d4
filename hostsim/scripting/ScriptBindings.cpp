#include "scripting/ScriptBindings.h"

#include <cmath>
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
        for (const auto table : {AppOps(), ViewerOps(), ProjectOps(), ItemOps(), CompItemOps(),
                                 LayerOps(), PropertyBaseOps(), PropertyGroupOps(), PropertyOps()})
            for (const OpEntry& entry : table) map.emplace(entry.name, entry.op);
        return map;
    }();
    return ops;
}

// ---- The engine side ---------------------------------------------------------------------

Arg ToArg(duk_context* ctx, duk_idx_t at) {
    Arg arg;
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
                arg.type = Arg::Numbers;
                const auto n = duk_get_length(ctx, at);
                for (duk_size_t i = 0; i < n && arg.type == Arg::Numbers; ++i) {
                    duk_get_prop_index(ctx, at, static_cast<duk_uarridx_t>(i));
                    if (duk_is_number(ctx, -1))
                        arg.numbers.push_back(duk_get_number(ctx, -1));
                    else
                        arg.type = Arg::Other;
                    duk_pop(ctx);
                }
            }
    }
    return arg;
}

void PushRef(duk_context* ctx, const Ref& ref) {
    duk_push_array(ctx);
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
                duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
            }
        }
        void operator()(const Ref& r) const { PushRef(ctx, r); }
        void operator()(const std::vector<Ref>& refs) const {
            duk_push_array(ctx);
            for (std::size_t i = 0; i < refs.size(); ++i) {
                PushRef(ctx, refs[i]);
                duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
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

// Runs the operation; true with its result pushed, or false with the error's text pushed.
// No engine error is thrown from here: the engine's throw would jump over the C++ frames.
bool RunOp(duk_context* ctx) {
    const duk_idx_t top = duk_get_top(ctx);
    const std::string name = duk_safe_to_string(ctx, 0);
    Call call;
    const auto dot = name.find('.');
    call.method = std::string_view(name).substr(dot + 1);
    if (!call.method.empty() && call.method.back() == '=') call.method.remove_suffix(1);
    call.handle = duk_is_number(ctx, 1) ? duk_get_number(ctx, 1) : 0;
    for (duk_idx_t i = 2; i < top; ++i) call.args.push_back(ToArg(ctx, i));
    const auto& ops = Ops();
    const auto it = ops.find(name);
    std::string problem;
    try {
        if (it == ops.end()) throw ModelError("no such operation: " + name);
        Out out;
        ModelOf(ctx).WithScene([&](Scene& scene) { out = it->second(scene, call); });
        Push(ctx, out);
        return true;
    } catch (const ModelError& e) {
        problem = e.what();
    } catch (const std::exception& e) {
        problem = std::string("internal error: ") + e.what();
    }
    duk_push_lstring(ctx, problem.data(), problem.size());
    return false;
}

// op(name, handle, args...): the result, or an object {error: text} that the script half
// throws as an Error.
duk_ret_t NativeOp(duk_context* ctx) {
    if (RunOp(ctx)) return 1;
    duk_push_object(ctx);
    duk_swap_top(ctx, -2);
    duk_put_prop_string(ctx, -2, "error");
    return 1;
}

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

duk_ret_t NativeExecuteCommand(duk_context* ctx) {
    if (!duk_is_number(ctx, 0)) return 0;  // the script half reports the wrong type
    ModelOf(ctx).ExecuteCommand(static_cast<std::int32_t>(duk_get_int(ctx, 0)));
    return 0;
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
        {"effects", NativeEffects, 0},
        {"language", NativeLanguage, 0},
        {"version", NativeVersion, 0},
        {"exec", NativeExecuteCommand, 1},
        {"findMenuCommandId", NativeFindMenuCommandId, 1},
        {"members", NativeMembers, 0},
        {"keepMemberReport", NativeKeepMemberReport, 1},
        {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, natives);
}

}  // namespace hostsim
