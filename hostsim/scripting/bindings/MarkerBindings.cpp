// The script bindings of the "Marker" property of a layer or a composition (its keys are
// markers) and of MarkerValue. A marker property's handle is its layer's handle, or minus its
// composition's id for comp.markerProperty.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

struct Owner {
    model::Comp& comp;
    model::Layer* layer;
    model::MarkerList& Markers() const { return layer ? layer->markers : comp.markers; }
};

Owner OwnerOf(const Scene& s, const Call& c) {
    if (c.handle < 0 && c.handle > -2147483649.0)
        return {s.RequireComp(static_cast<std::int32_t>(-c.handle)), nullptr};
    model::Layer& layer = s.RequireLayer(c.Handle());
    return {*layer.comp, &layer};
}

// keyTime(index | comment), keyValue(index | comment): the 1-based index either gives.
int KeyIndex(const Owner& o, const Call& c) {
    if (c.At(0).type == Arg::Text)
        return o.Markers().IndexOfComment(c.At(0).text, std::string(c.method).c_str());
    return c.Index(0);
}

// A script's MarkerValue crosses as its record; anything else is refused.
model::MarkerValue MarkerArg(const Call& c, std::size_t i) {
    if (c.At(i).type != Arg::Other || !c.At(i).json.is_object() || !c.At(i).json.contains("params"))
        model::ThrowParameter(std::string(c.method), static_cast<int>(i) + 1,
                              "Value is not a MarkerValue.");
    return model::MarkerValue::FromJson(c.At(i).json);
}

// The marker in effect at t: the last one at or before it; before the first, an empty one.
Out ValueAt(const Owner& o, double t) {
    const model::MarkerValue* at = nullptr;
    for (const auto& key : o.Markers().Keys())
        if (key.time <= t + 1e-9) at = &key.value;
    return at ? at->ToJson() : model::MarkerValue().ToJson();
}

}  // namespace

std::span<const OpEntry> MarkerOps() {
    static const OpEntry ops[] = {
        {"marker.numKeys",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(OwnerOf(s, c).Markers().NumKeys());
         }},
        {"marker.isTimeVarying",
         [](Scene& s, const Call& c) -> Out { return OwnerOf(s, c).Markers().NumKeys() > 0; }},
        {"marker.parentProperty",
         [](Scene& s, const Call& c) -> Out { return NodeOrNull(OwnerOf(s, c).layer); }},
        {"marker.propertyDepth",
         [](Scene& s, const Call& c) -> Out { return OwnerOf(s, c).layer ? 1.0 : 0.0; }},
        {"marker.keyTime",
         [](Scene& s, const Call& c) -> Out {
             const Owner o = OwnerOf(s, c);
             return o.Markers().At(KeyIndex(o, c), "keyTime").time;
         }},
        {"marker.keyValue",
         [](Scene& s, const Call& c) -> Out {
             const Owner o = OwnerOf(s, c);
             return o.Markers().At(KeyIndex(o, c), "keyValue").value.ToJson();
         }},
        {"marker.value",
         [](Scene& s, const Call& c) -> Out {
             const Owner o = OwnerOf(s, c);
             return ValueAt(o, o.comp.time);
         }},
        {"marker.valueAtTime",
         [](Scene& s, const Call& c) -> Out { return ValueAt(OwnerOf(s, c), c.Number(0)); }},
        {"marker.setValueAtTime",
         [](Scene& s, const Call& c) -> Out {
             const Owner o = OwnerOf(s, c);
             const double t = c.Number(0);
             s.SetMarkerAtTime(o.comp, o.layer, t, MarkerArg(c, 1));
             return Undefined{};
         }},
        {"marker.addKey",
         [](Scene& s, const Call& c) -> Out {
             const Owner o = OwnerOf(s, c);
             return static_cast<double>(s.SetMarkerAtTime(o.comp, o.layer, c.Number(0), {}));
         }},
        {"marker.removeKey",
         [](Scene& s, const Call& c) -> Out {
             const Owner o = OwnerOf(s, c);
             return s.RemoveMarker(o.comp, o.layer, c.Index(0)), Undefined{};
         }},
        {"marker.nearestKeyIndex",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(OwnerOf(s, c).Markers().Nearest(c.Number(0)));
         }},
        {"marker.keySelected",
         [](Scene& s, const Call& c) -> Out {
             return OwnerOf(s, c).Markers().At(c.Index(0), "keySelected").selected;
         }},
        {"marker.setSelectedAtKey",
         [](Scene& s, const Call& c) -> Out {
             const Owner o = OwnerOf(s, c);
             const int index = c.Index(0);
             if (c.At(1).type != Arg::Bool)
                 model::ThrowParameter("setSelectedAtKey", 2, "Value is not a boolean.");
             return s.SetMarkerSelected(o.comp, o.layer, index, c.At(1).flag), Undefined{};
         }},
        {"marker.selectedKeys",
         [](Scene& s, const Call& c) -> Out {
             std::vector<double> out;
             const auto& keys = OwnerOf(s, c).Markers().Keys();
             for (std::size_t i = 0; i < keys.size(); ++i)
                 if (keys[i].selected) out.push_back(static_cast<double>(i + 1));
             return out;
         }},
        // new MarkerValue(comment, chapter, url, frameTarget, cuePointName, params): strings,
        // all but the comment optional; params an object of key-value pairs.
        {"markerValue.MarkerValue",
         [](Scene&, const Call& c) -> Out {
             static const char* const kTexts[] = {"comment", "chapter", "url", "frameTarget",
                                                  "cuePointName"};
             model::MarkerValue v;
             for (std::size_t i = 0; i < 5; ++i)
                 if (i == 0 || c.At(i).type != Arg::Undefined) v.fields.Set(kTexts[i], c.Text(i));
             if (c.At(5).type != Arg::Undefined) v.SetParameters(c.At(5).json);
             return v.ToJson();
         }},
        // The value a MarkerValue's attribute stores, or the host's refusal.
        {"markerValue.check",
         [](Scene&, const Call& c) -> Out {
             return model::MarkerValue().fields.Checked(c.Text(0), ArgJson(c.At(1)));
         }},
        {"markerValue.setParameters",
         [](Scene&, const Call& c) -> Out {
             model::MarkerValue v;
             v.SetParameters(c.At(0).json);
             return v.ToJson()["params"];
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
