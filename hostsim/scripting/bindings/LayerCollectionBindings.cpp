// The script bindings of LayerCollection's layer makers (text, shape, camera, light) and
// precompose; the handle is the composition's id.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

// A text layer's text: a string, a TextDocument's record, or nothing (empty).
model::TextDocument TextArg(const Call& c, std::size_t i) {
    const Arg& arg = c.At(i);
    if (arg.type == Arg::Undefined) return {};
    if (arg.type == Arg::Text) {
        model::TextDocument doc;
        doc.text = arg.text;
        return doc;
    }
    if (arg.type == Arg::Other)
        return model::TextDocument::FromJson(arg.json, std::string(c.method),
                                             static_cast<int>(i) + 1);
    model::ThrowParameter(std::string(c.method), static_cast<int>(i) + 1,
                          "Value is not a string or a TextDocument.");
}

// addText([text]), addBoxText([w, h][, text]) and their vertical forms: the new layer's
// lines run as the method says, whatever a document given says.
Out AddText(Scene& s, const Call& c, bool box, bool vertical) {
    model::Comp& comp = s.RequireComp(c.ItemId());
    const model::Value size = box ? c.Value(0) : model::Value{};
    model::TextDocument doc = TextArg(c, box ? 1 : 0);
    doc.lineOrientation = vertical ? model::kVerticalRightToLeft : model::kHorizontal;
    return NodeRef(s.AddText(comp, doc, box ? &size : nullptr));
}

}  // namespace

std::span<const OpEntry> LayerCollectionOps() {
    static const OpEntry ops[] = {
        {"layers.addText", [](Scene& s, const Call& c) { return AddText(s, c, false, false); }},
        {"layers.addBoxText", [](Scene& s, const Call& c) { return AddText(s, c, true, false); }},
        {"layers.addVerticalText",
         [](Scene& s, const Call& c) { return AddText(s, c, false, true); }},
        {"layers.addVerticalBoxText",
         [](Scene& s, const Call& c) { return AddText(s, c, true, true); }},
        {"layers.addShape",
         [](Scene& s, const Call& c) -> Out {
             return NodeRef(s.AddShape(s.RequireComp(c.ItemId())));
         }},
        {"layers.addCamera",
         [](Scene& s, const Call& c) -> Out {
             model::Comp& comp = s.RequireComp(c.ItemId());
             return NodeRef(s.AddCamera(comp, c.Text(0), c.Value(1)));
         }},
        {"layers.addLight",
         [](Scene& s, const Call& c) -> Out {
             model::Comp& comp = s.RequireComp(c.ItemId());
             return NodeRef(s.AddLight(comp, c.Text(0), c.Value(1)));
         }},
        {"layers.precompose",
         [](Scene& s, const Call& c) -> Out {
             model::Comp& comp = s.RequireComp(c.ItemId());
             std::vector<int> indices;
             for (const double n : c.Value(0)) {
                 if (n != std::floor(n) || std::abs(n) > 1e9)
                     model::ThrowParameter("precompose", 1, "Value is not a whole number.");
                 indices.push_back(static_cast<int>(n));
             }
             const bool moveAll = c.At(2).type == Arg::Undefined || c.At(2).flag;
             const model::Comp& made = s.Precompose(comp, indices, c.Text(1), moveAll);
             return ItemRef(s.RequireItem(made.id));
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
