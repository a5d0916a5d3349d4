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
#include "scripting/ScriptEngine.h"

namespace hostsim {
namespace {

using model::ModelError;
using model::Scene;

// ---- Values crossing between the engine and the model --------------------------------------

struct Arg {
    enum Type { Undefined, Null, Bool, Number, Text, Numbers, Other } type = Undefined;
    double number = 0;
    std::string text;
    std::vector<double> numbers;
    bool flag = false;
};

// [kind, id]: "c" composition, "f" footage, "d" folder, "l" layer, "g" property group,
// "p" property, "v" the viewer.
struct Ref {
    char kind;
    double id;
};
struct Undefined {};
struct Null {};
using Out = std::variant<Undefined, Null, bool, double, std::string, std::vector<double>, Ref,
                         std::vector<Ref>>;

struct Call {
    std::string_view method;  // for the host's wording: "setValue"
    double handle = 0;
    std::vector<Arg> args;

    const Arg& At(std::size_t i) const {
        static const Arg none;
        return i < args.size() ? args[i] : none;
    }
    double Number(std::size_t i) const {
        if (At(i).type != Arg::Number)
            model::ThrowParameter(std::string(method), static_cast<int>(i) + 1,
                                  "Value is not a number.");
        return At(i).number;
    }
    double NumberOr(std::size_t i, double fallback) const {
        return At(i).type == Arg::Undefined ? fallback : Number(i);
    }
    int Index(std::size_t i) const {
        const double n = Number(i);
        if (n != std::floor(n) || std::abs(n) > 1e9)
            model::ThrowParameter(std::string(method), static_cast<int>(i) + 1,
                                  "Value is not a whole number.");
        return static_cast<int>(n);
    }
    const std::string& Text(std::size_t i) const {
        if (At(i).type != Arg::Text)
            model::ThrowParameter(std::string(method), static_cast<int>(i) + 1,
                                  "Value is not a string.");
        return At(i).text;
    }
    model::Value Value(std::size_t i) const {
        if (At(i).type == Arg::Number) return {At(i).number};
        if (At(i).type != Arg::Numbers)
            model::ThrowParameter(std::string(method), static_cast<int>(i) + 1,
                                  "Value is not a number or an array of numbers.");
        return At(i).numbers;
    }
    // The value given to an attribute's setter.
    double SetNumber(const char* attribute) const {
        if (At(0).type != Arg::Number || !std::isfinite(At(0).number))
            throw ModelError(std::string("Unable to set \"") + attribute +
                             "\". Value is not a number.");
        return At(0).number;
    }
    bool Flag() const { return At(0).flag; }
    std::int32_t ItemId() const { return static_cast<std::int32_t>(handle); }
    std::uint64_t Handle() const {
        return handle > 0 && handle < 9e15 ? static_cast<std::uint64_t>(handle) : 0;
    }
};

Out ValueOut(const model::Value& v) { return v.size() == 1 ? Out(v[0]) : Out(v); }

Ref ItemRef(const model::Item& item) {
    const char kind = item.type == model::ItemType::Comp     ? 'c'
                      : item.type == model::ItemType::Folder ? 'd'
                                                             : 'f';
    return {kind, static_cast<double>(item.id)};
}

Ref NodeRef(const model::Node& node) {
    const char kind = node.Kind() == model::NodeKind::Layer   ? 'l'
                      : node.Kind() == model::NodeKind::Group ? 'g'
                                                              : 'p';
    return {kind, static_cast<double>(node.handle)};
}

Out NodeOrNull(const model::Node* node) { return node ? Out(NodeRef(*node)) : Out(Null{}); }

std::vector<Ref> ItemRefs(const Scene& s, bool selectedOnly) {
    std::vector<Ref> refs;
    for (const auto& item : s.Items())
        if (!selectedOnly || item->selected) refs.push_back(ItemRef(*item));
    return refs;
}

// The selected properties under a group, depth first.
void SelectedUnder(const model::Node& node, std::vector<Ref>& refs) {
    if (node.Kind() != model::NodeKind::Layer && node.selected) refs.push_back(NodeRef(node));
    if (node.Kind() == model::NodeKind::Property) return;
    for (const auto& child : static_cast<const model::PropertyGroup&>(node).children)
        SelectedUnder(*child, refs);
}

model::Node* Child(const model::PropertyGroup& group, const Call& c) {
    if (c.At(0).type == Arg::Number) {
        const int index = c.Index(0);
        if (index < 1 || index > group.Count())
            model::ThrowParameterRange("property", 1, index, 1, group.Count());
        return group.At(index);
    }
    model::Node* found = group.Find(c.Text(0));
    // A layer finds its transform properties by name too, as the host's shortcuts do.
    if (found == nullptr && group.Kind() == model::NodeKind::Layer)
        found = static_cast<const model::Layer&>(group).Transform().Find(c.At(0).text);
    return found;
}

// PropertyValueType's numbers, as the JS side's global has them.
double ValueTypeNumber(model::ValueType type) {
    switch (type) {
        case model::ValueType::ThreeDSpatial:
            return 6413;
        case model::ValueType::ThreeD:
            return 6414;
        case model::ValueType::TwoDSpatial:
            return 6415;
        case model::ValueType::TwoD:
            return 6416;
        case model::ValueType::OneD:
            return 6417;
        case model::ValueType::Color:
            return 6418;
    }
    return 6417;
}

using Op = Out (*)(Scene&, const Call&);
using model::Switch;

Out SwitchGet(Scene& s, const Call& c, Switch which) {
    const model::Layer& l = s.RequireLayer(c.Handle());
    return which == Switch::Enabled  ? l.enabled
           : which == Switch::Solo   ? l.solo
           : which == Switch::Shy    ? l.shy
           : which == Switch::Locked ? l.locked
                                     : l.selected;
}

Out SwitchSet(Scene& s, const Call& c, Switch which) {
    s.SetSwitch(s.RequireLayer(c.Handle()), which, c.Flag());
    return Undefined{};
}

const std::unordered_map<std::string_view, Op>& Ops() {
    static const std::unordered_map<std::string_view, Op> ops = {
        // ---- app and project ----
        {"project.numItems",
         [](Scene& s, const Call&) -> Out { return static_cast<double>(s.Items().size()); }},
        {"project.items", [](Scene& s, const Call&) -> Out { return ItemRefs(s, false); }},
        {"project.selection", [](Scene& s, const Call&) -> Out { return ItemRefs(s, true); }},
        {"project.item",
         [](Scene& s, const Call& c) -> Out {
             const int i = c.Index(0), n = static_cast<int>(s.Items().size());
             if (i < 1 || i > n) model::ThrowParameterRange("item", 1, i, 1, n);
             return ItemRef(*s.Items()[static_cast<std::size_t>(i - 1)]);
         }},
        {"project.itemByID",
         [](Scene& s, const Call& c) -> Out {
             const model::Item* item = s.FindItem(c.Index(0));
             return item ? Out(ItemRef(*item)) : Out(Null{});
         }},
        {"project.activeItem",
         [](Scene& s, const Call&) -> Out {
             const model::Item* item = s.FindItem(s.ActiveItemId());
             return item ? Out(ItemRef(*item)) : Out(Null{});
         }},
        {"project.addComp",
         [](Scene& s, const Call& c) -> Out {
             const model::CompSetup setup{c.Number(1), c.Number(2), c.Number(3), c.Number(4),
                                        c.Number(5)};
             return ItemRef(s.RequireItem(s.AddComp(c.Text(0), setup)));
         }},
        {"project.addFolder",
         [](Scene& s, const Call& c) -> Out { return ItemRef(s.RequireItem(s.AddFolder(c.Text(0)))); }},
        {"app.activeViewer",
         [](Scene& s, const Call&) -> Out {
             return s.viewerComp != 0 ? Out(Ref{'v', 1}) : Out(Null{});
         }},
        {"app.beginUndoGroup",
         [](Scene& s, const Call& c) -> Out {
             s.BeginUndoGroup(c.At(0).type == Arg::Text ? c.At(0).text : "");
             return Undefined{};
         }},
        {"app.endUndoGroup", [](Scene& s, const Call&) -> Out { return s.EndUndoGroup(), Undefined{}; }},
        {"viewer.active",
         [](Scene& s, const Call&) -> Out {
             if (s.viewerComp == 0) model::ThrowInvalid();
             return s.viewerActive;
         }},
        {"viewer.setActive", [](Scene& s, const Call&) -> Out { return s.SetViewerActive(), true; }},
        // ---- items ----
        {"item.name", [](Scene& s, const Call& c) -> Out { return s.RequireItem(c.ItemId()).name; }},
        {"item.name=",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Text)
                 throw ModelError("Unable to set \"name\". Value is not a string.");
             return s.SetItemName(c.ItemId(), c.At(0).text), Undefined{};
         }},
        {"item.typeName",
         [](Scene& s, const Call& c) -> Out {
             const auto type = s.RequireItem(c.ItemId()).type;
             return std::string(type == model::ItemType::Comp     ? "Composition"
                                : type == model::ItemType::Folder ? "Folder"
                                                                  : "Footage");
         }},
        {"item.selected",
         [](Scene& s, const Call& c) -> Out { return s.RequireItem(c.ItemId()).selected; }},
        {"item.selected=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetItemSelected(c.ItemId(), c.Flag()), Undefined{};
         }},
        {"item.parentFolder",
         [](Scene& s, const Call& c) -> Out {
             const model::Item* parent = s.FindItem(s.RequireItem(c.ItemId()).parentId);
             return parent ? Out(ItemRef(*parent)) : Out(Null{});
         }},
        // ---- compositions ----
        {"comp.time", [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).time; }},
        {"comp.time=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetTime(s.RequireComp(c.ItemId()), c.SetNumber("time")), Undefined{};
         }},
        {"comp.duration",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).duration; }},
        {"comp.frameRate",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).frameRate; }},
        {"comp.frameDuration",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).FrameDuration(); }},
        {"comp.workAreaStart",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).workAreaStart; }},
        {"comp.workAreaDuration",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).workAreaDuration; }},
        {"comp.width", [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).width; }},
        {"comp.height",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).height; }},
        {"comp.pixelAspect",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).pixelAspect; }},
        {"comp.numLayers",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.RequireComp(c.ItemId()).NumLayers());
         }},
        {"comp.hideShyLayers",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).hideShyLayers; }},
        {"comp.hideShyLayers=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetHideShy(s.RequireComp(c.ItemId()), c.Flag()), Undefined{};
         }},
        {"comp.layer",
         [](Scene& s, const Call& c) -> Out {
             const model::Comp& comp = s.RequireComp(c.ItemId());
             if (c.At(0).type == Arg::Text) return NodeOrNull(comp.LayerByName(c.At(0).text));
             const int i = c.Index(0);
             if (i < 1 || i > comp.NumLayers())
                 model::ThrowParameterRange("layer", 1, i, 1, comp.NumLayers());
             return NodeRef(*comp.LayerAt(i));
         }},
        {"comp.layers",
         [](Scene& s, const Call& c) -> Out {
             std::vector<Ref> refs;
             for (const auto& layer : s.RequireComp(c.ItemId()).layers)
                 refs.push_back(NodeRef(*layer));
             return refs;
         }},
        {"comp.selectedLayers",
         [](Scene& s, const Call& c) -> Out {
             std::vector<Ref> refs;
             for (const auto* layer : s.RequireComp(c.ItemId()).SelectedLayers())
                 refs.push_back(NodeRef(*layer));
             return refs;
         }},
        {"comp.selectedProperties",
         [](Scene& s, const Call& c) -> Out {
             std::vector<Ref> refs;
             for (const auto& layer : s.RequireComp(c.ItemId()).layers)
                 SelectedUnder(*layer, refs);
             return refs;
         }},
        {"comp.addSolid",
         [](Scene& s, const Call& c) -> Out {
             model::Comp& comp = s.RequireComp(c.ItemId());
             return NodeRef(s.AddSolid(comp, c.Value(0), c.Text(1), c.Number(2), c.Number(3),
                                       c.Number(4), c.NumberOr(5, comp.duration)));
         }},
        {"comp.addNull",
         [](Scene& s, const Call& c) -> Out {
             model::Comp& comp = s.RequireComp(c.ItemId());
             return NodeRef(s.AddNull(comp, c.NumberOr(0, comp.duration)));
         }},
        {"comp.openInViewer",
         [](Scene& s, const Call& c) -> Out {
             return s.OpenInViewer(s.RequireComp(c.ItemId())), Ref{'v', 1};
         }},
        // ---- layers ----
        {"layer.index",
         [](Scene& s, const Call& c) -> Out {
             const model::Layer& l = s.RequireLayer(c.Handle());
             return static_cast<double>(l.comp->IndexOf(l));
         }},
        {"layer.name=",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Text)
                 throw ModelError("Unable to set \"name\". Value is not a string.");
             return s.SetLayerName(s.RequireLayer(c.Handle()), c.At(0).text), Undefined{};
         }},
        {"layer.selected", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Selected); }},
        {"layer.selected=", [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Selected); }},
        {"layer.enabled", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Enabled); }},
        {"layer.enabled=", [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Enabled); }},
        {"layer.solo", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Solo); }},
        {"layer.solo=", [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Solo); }},
        {"layer.shy", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Shy); }},
        {"layer.shy=", [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Shy); }},
        {"layer.locked", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Locked); }},
        {"layer.locked=", [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Locked); }},
        {"layer.active",
         [](Scene& s, const Call& c) -> Out {
             const model::Layer& l = s.RequireLayer(c.Handle());
             return l.comp->IsActive(l);
         }},
        {"layer.nullLayer",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).isNull; }},
        {"layer.inPoint",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).inPoint; }},
        {"layer.outPoint",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).outPoint; }},
        {"layer.startTime",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).startTime; }},
        {"layer.containingComp",
         [](Scene& s, const Call& c) -> Out {
             return ItemRef(s.RequireItem(s.RequireLayer(c.Handle()).comp->id));
         }},
        {"layer.selectedProperties",
         [](Scene& s, const Call& c) -> Out {
             std::vector<Ref> refs;
             SelectedUnder(s.RequireLayer(c.Handle()), refs);
             return refs;
         }},
        {"layer.remove",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveLayer(s.RequireLayer(c.Handle())), Undefined{};
         }},
        // ---- property groups and properties (layers are groups too) ----
        {"node.name", [](Scene& s, const Call& c) -> Out { return s.Require(c.Handle()).name; }},
        {"node.matchName",
         [](Scene& s, const Call& c) -> Out { return s.Require(c.Handle()).matchName; }},
        {"node.propertyDepth",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.Require(c.Handle()).Depth());
         }},
        {"node.propertyIndex",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             if (n.parent != nullptr) return static_cast<double>(n.parent->IndexOf(n));
             const auto& layer = static_cast<const model::Layer&>(n);  // only layers have none
             return static_cast<double>(layer.comp->IndexOf(layer));
         }},
        {"node.parentProperty",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             return NodeOrNull(n.ParentNode());
         }},
        {"node.isEffect",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             return n.Kind() == model::NodeKind::Group &&
                    static_cast<const model::PropertyGroup&>(n).isEffect;
         }},
        {"node.selected",
         [](Scene& s, const Call& c) -> Out { return s.Require(c.Handle()).selected; }},
        {"node.selected=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetPropertySelected(s.Require(c.Handle()), c.Flag()), Undefined{};
         }},
        {"group.numProperties",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.RequireGroup(c.Handle()).Count());
         }},
        {"group.property",
         [](Scene& s, const Call& c) -> Out { return NodeOrNull(Child(s.RequireGroup(c.Handle()), c)); }},
        {"group.canAddProperty",
         [](Scene& s, const Call& c) -> Out {
             const model::PropertyGroup& g = s.RequireGroup(c.Handle());
             return g.matchName == "ADBE Effect Parade" && s.FindEffect(c.Text(0)) != nullptr;
         }},
        {"group.addProperty",
         [](Scene& s, const Call& c) -> Out {
             return NodeRef(s.AddEffect(s.RequireGroup(c.Handle()), c.Text(0)));
         }},
        {"group.remove",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveEffect(s.RequireGroup(c.Handle())), Undefined{};
         }},
        {"prop.value",
         [](Scene& s, const Call& c) -> Out {
             const model::Property& p = s.RequireProperty(c.Handle());
             return ValueOut(p.ValueAt(s.LayerOf(p).comp->time));
         }},
        {"prop.valueAtTime",
         [](Scene& s, const Call& c) -> Out {
             return ValueOut(s.RequireProperty(c.Handle()).ValueAt(c.Number(0)));
         }},
        {"prop.setValue",
         [](Scene& s, const Call& c) -> Out {
             return s.SetValue(s.RequireProperty(c.Handle()), c.Value(0)), Undefined{};
         }},
        {"prop.setValueAtTime",
         [](Scene& s, const Call& c) -> Out {
             return s.SetValueAtTime(s.RequireProperty(c.Handle()), c.Number(0), c.Value(1)),
                    Undefined{};
         }},
        {"prop.numKeys",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.RequireProperty(c.Handle()).NumKeys());
         }},
        {"prop.isTimeVarying",
         [](Scene& s, const Call& c) -> Out { return s.RequireProperty(c.Handle()).NumKeys() > 0; }},
        {"prop.addKey",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.AddKey(s.RequireProperty(c.Handle()), c.Number(0)));
         }},
        {"prop.keyTime",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).KeyTime(c.Index(0));
         }},
        {"prop.keyValue",
         [](Scene& s, const Call& c) -> Out {
             return ValueOut(s.RequireProperty(c.Handle()).KeyValue(c.Index(0)));
         }},
        {"prop.removeKey",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveKey(s.RequireProperty(c.Handle()), c.Index(0)), Undefined{};
         }},
        {"prop.nearestKeyIndex",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(
                 s.RequireProperty(c.Handle()).NearestKeyIndex(c.Number(0)));
         }},
        {"prop.propertyValueType",
         [](Scene& s, const Call& c) -> Out {
             return ValueTypeNumber(s.RequireProperty(c.Handle()).Type());
         }},
        {"prop.hasMin",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).Min().has_value();
         }},
        {"prop.hasMax",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).Max().has_value();
         }},
        {"prop.minValue",
         [](Scene& s, const Call& c) -> Out {
             const auto& min = s.RequireProperty(c.Handle()).Min();
             if (!min) throw ModelError("Unable to get \"minValue\": the property has no minimum.");
             return *min;
         }},
        {"prop.maxValue",
         [](Scene& s, const Call& c) -> Out {
             const auto& max = s.RequireProperty(c.Handle()).Max();
             if (!max) throw ModelError("Unable to get \"maxValue\": the property has no maximum.");
             return *max;
         }},
    };
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
        if (it == ops.end()) throw ModelError("no such operation: " + name);
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

}  // namespace

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
        {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, natives);
}

}  // namespace hostsim
