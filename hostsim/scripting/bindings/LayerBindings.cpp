// The script bindings of Layer, AVLayer and the layer classes below it: index, switches and
// attributes, times, parent, source, stacking order, copies, removal.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

using model::LayerMove;
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

// The switches and enumerated attributes of the model's table, by the member's name.
const model::LayerAttribute& Attribute(const Call& c) {
    const model::LayerAttribute* a = model::FindLayerAttribute(std::string(c.method));
    if (a == nullptr) throw ModelError("no layer attribute " + std::string(c.method));
    return *a;
}

Out AttributeGet(Scene& s, const Call& c) {
    const model::Layer& l = s.RequireLayer(c.Handle());
    const model::LayerAttribute& a = Attribute(c);
    return a.flag ? Out(l.*a.flag) : Out(static_cast<double>(l.*a.number));
}

Out AttributeSet(Scene& s, const Call& c) {
    model::Layer& l = s.RequireLayer(c.Handle());
    const model::LayerAttribute& a = Attribute(c);
    const double v = a.flag ? (c.Flag() ? 1 : 0) : c.SetNumber(a.name);
    return s.SetLayerAttribute(l, a, v), Undefined{};
}

Out TimeSet(Scene& s, const Call& c, Scene::LayerTime which) {
    s.SetLayerTime(s.RequireLayer(c.Handle()), which, c.SetNumber(std::string(c.method).c_str()));
    return Undefined{};
}

// The layer given as a parent: a layer's handle, or null for none.
model::Layer* ParentArg(Scene& s, const Call& c, bool method) {
    const Arg& arg = c.At(0);
    if (arg.type == Arg::Null || (method && arg.type == Arg::Undefined)) return nullptr;
    if (method) return &LayerArg(s, c, 0);
    if (arg.type != Arg::Number || !(arg.number > 0 && arg.number < 9e15))
        throw ModelError("Unable to set \"parent\". Value is not a layer.");
    return &s.RequireLayer(static_cast<std::uint64_t>(arg.number));
}

Out Move(Scene& s, const Call& c, LayerMove how) {
    model::Layer& layer = s.RequireLayer(c.Handle());
    const bool relative = how == LayerMove::Before || how == LayerMove::After;
    s.MoveLayer(layer, how, relative ? &LayerArg(s, c, 0) : nullptr);
    return Undefined{};
}

}  // namespace

std::span<const OpEntry> LayerOps() {
    static const OpEntry ops[] = {
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
        {"layer.selected",
         [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Selected); }},
        {"layer.selected=",
         [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Selected); }},
        {"layer.enabled", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Enabled); }},
        {"layer.enabled=",
         [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Enabled); }},
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
        {"layer.moveBefore", [](Scene& s, const Call& c) { return Move(s, c, LayerMove::Before); }},
        {"layer.moveAfter", [](Scene& s, const Call& c) { return Move(s, c, LayerMove::After); }},
        {"layer.moveToBeginning",
         [](Scene& s, const Call& c) { return Move(s, c, LayerMove::ToBeginning); }},
        {"layer.moveToEnd", [](Scene& s, const Call& c) { return Move(s, c, LayerMove::ToEnd); }},
#define CUEBRIDGE_LAYER_ATTRIBUTE(name) \
    {"layer." name, AttributeGet}, {"layer." name "=", AttributeSet}
        CUEBRIDGE_LAYER_ATTRIBUTE("effectsActive"),
        CUEBRIDGE_LAYER_ATTRIBUTE("adjustmentLayer"),
        CUEBRIDGE_LAYER_ATTRIBUTE("guideLayer"),
        CUEBRIDGE_LAYER_ATTRIBUTE("threeDLayer"),
        CUEBRIDGE_LAYER_ATTRIBUTE("motionBlur"),
        CUEBRIDGE_LAYER_ATTRIBUTE("collapseTransformation"),
        CUEBRIDGE_LAYER_ATTRIBUTE("preserveTransparency"),
        CUEBRIDGE_LAYER_ATTRIBUTE("timeRemapEnabled"),
        CUEBRIDGE_LAYER_ATTRIBUTE("audioEnabled"),
        CUEBRIDGE_LAYER_ATTRIBUTE("environmentLayer"),
        CUEBRIDGE_LAYER_ATTRIBUTE("threeDPerChar"),
        CUEBRIDGE_LAYER_ATTRIBUTE("quality"),
        CUEBRIDGE_LAYER_ATTRIBUTE("blendingMode"),
        CUEBRIDGE_LAYER_ATTRIBUTE("trackMatteType"),
        CUEBRIDGE_LAYER_ATTRIBUTE("autoOrient"),
        CUEBRIDGE_LAYER_ATTRIBUTE("frameBlendingType"),
        CUEBRIDGE_LAYER_ATTRIBUTE("samplingQuality"),
        CUEBRIDGE_LAYER_ATTRIBUTE("label"),
        CUEBRIDGE_LAYER_ATTRIBUTE("lightType"),
#undef CUEBRIDGE_LAYER_ATTRIBUTE
        {"layer.comment",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).comment; }},
        {"layer.comment=",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Text)
                 throw ModelError("Unable to set \"comment\". Value is not a string.");
             return s.SetLayerComment(s.RequireLayer(c.Handle()), c.At(0).text), Undefined{};
         }},
        {"layer.startTime=",
         [](Scene& s, const Call& c) { return TimeSet(s, c, Scene::LayerTime::Start); }},
        {"layer.inPoint=", [](Scene& s, const Call& c) { return TimeSet(s, c, Scene::LayerTime::In); }},
        {"layer.outPoint=",
         [](Scene& s, const Call& c) { return TimeSet(s, c, Scene::LayerTime::Out); }},
        {"layer.stretch",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).stretch; }},
        {"layer.stretch=",
         [](Scene& s, const Call& c) { return TimeSet(s, c, Scene::LayerTime::Stretch); }},
        {"layer.time",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).comp->time; }},
        {"layer.activeAtTime",
         [](Scene& s, const Call& c) -> Out {
             const model::Layer& l = s.RequireLayer(c.Handle());
             return l.Active(c.Number(0), l.comp->AnySolo());
         }},
        {"layer.parent",
         [](Scene& s, const Call& c) -> Out {
             return NodeOrNull(s.RequireLayer(c.Handle()).parentLayer);
         }},
        {"layer.parent=",
         [](Scene& s, const Call& c) -> Out {
             model::Layer& l = s.RequireLayer(c.Handle());
             return s.SetParent(l, ParentArg(s, c, false), false), Undefined{};
         }},
        {"layer.setParentWithJump",
         [](Scene& s, const Call& c) -> Out {
             model::Layer& l = s.RequireLayer(c.Handle());
             return s.SetParent(l, ParentArg(s, c, true), true), Undefined{};
         }},
        {"layer.hasVideo",
         [](Scene& s, const Call& c) -> Out {
             s.RequireLayer(c.Handle());
             return true;
         }},
        {"layer.hasAudio",
         [](Scene& s, const Call& c) -> Out {
             s.RequireLayer(c.Handle());
             return false;
         }},
        {"layer.audioActive",
         [](Scene& s, const Call& c) -> Out {
             s.RequireLayer(c.Handle());
             return false;
         }},
        {"layer.isNameSet",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).nameSet; }},
        {"layer.isNameFromSource",
         [](Scene& s, const Call& c) -> Out {
             const model::Layer& l = s.RequireLayer(c.Handle());
             return !l.nameSet && s.FindItem(l.sourceId) != nullptr;
         }},
        {"layer.source",
         [](Scene& s, const Call& c) -> Out {
             const model::Item* item = s.FindItem(s.RequireLayer(c.Handle()).sourceId);
             return item ? Out(ItemRef(*item)) : Out(Null{});
         }},
        {"layer.frameBlending",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireLayer(c.Handle()).frameBlendingType != model::kNoFrameBlend;
         }},
        {"layer.width",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).width; }},
        {"layer.height",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).height; }},
        {"layer.duplicate",
         [](Scene& s, const Call& c) -> Out {
             return NodeRef(s.DuplicateLayer(s.RequireLayer(c.Handle())));
         }},
        {"layer.copyToComp",
         [](Scene& s, const Call& c) -> Out {
             model::Layer& l = s.RequireLayer(c.Handle());
             const model::Item* item =
                 c.At(0).type == Arg::Number ? s.FindItem(static_cast<std::int32_t>(c.At(0).number))
                                             : nullptr;
             if (item == nullptr || !item->comp)
                 model::ThrowParameter("copyToComp", 1, "Value is not a composition.");
             return s.CopyLayerToComp(l, *item->comp), Undefined{};
         }},
        {"layer.remove",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveLayer(s.RequireLayer(c.Handle())), Undefined{};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
