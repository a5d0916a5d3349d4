// The script bindings of MaskPropertyGroup (a mask's attributes), of Shape values (their
// attributes checked as a script writes them) and of a mask path, whose value is a Shape.
// Shapes cross as their records ({"vertices": ..., "closed": ...}).
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

model::Mask& MaskArg(Scene& s, const Call& c) {
    model::PropertyGroup& group = s.RequireGroup(c.Handle());
    if (!model::IsMask(group)) model::ThrowInvalid();
    return static_cast<model::Mask&>(group);
}

const model::MaskAttribute& AttributeArg(const Call& c) {
    const model::MaskAttribute* a = model::FindMaskAttribute(c.Text(0));
    if (a == nullptr) model::ThrowInvalid();
    return *a;
}

model::Property& ShapeProperty(Scene& s, const Call& c) {
    model::Property& p = s.RequireProperty(c.Handle());
    if (!p.IsShape()) model::ThrowInvalid();
    return p;
}

model::Shape ShapeArg(const Call& c, std::size_t i) {
    return model::Shape::Checked(ArgJson(c.At(i)), std::string(c.method), static_cast<int>(i) + 1);
}

}  // namespace

std::span<const OpEntry> MaskOps() {
    static const OpEntry ops[] = {
        {"mask.attribute",
         [](Scene& s, const Call& c) -> Out {
             return model::MaskAttributeValue(MaskArg(s, c), AttributeArg(c));
         }},
        {"mask.attribute=",
         [](Scene& s, const Call& c) -> Out {
             model::Mask& mask = MaskArg(s, c);
             return s.SetMaskAttribute(mask, AttributeArg(c), ArgJson(c.At(1))), Undefined{};
         }},
        {"shape.new", [](Scene&, const Call&) -> Out { return model::Shape{}.ToJson(); }},
        {"shape.check",
         [](Scene&, const Call& c) -> Out {
             return model::Shape::CheckedAttribute(c.Text(0), ArgJson(c.At(1)));
         }},
        {"shapeprop.value",
         [](Scene& s, const Call& c) -> Out {
             const model::Property& p = ShapeProperty(s, c);
             return s.ScriptShapeAt(p, s.LayerOf(p).comp->time).ToJson();
         }},
        {"shapeprop.valueAtTime",
         [](Scene& s, const Call& c) -> Out {
             return s.ScriptShapeAt(ShapeProperty(s, c), c.Number(0)).ToJson();
         }},
        {"shapeprop.keyValue",
         [](Scene& s, const Call& c) -> Out {
             return s.ScriptShapeAt(ShapeProperty(s, c), 0, c.Index(0)).ToJson();
         }},
        {"shapeprop.setValue",
         [](Scene& s, const Call& c) -> Out {
             return s.SetShape(ShapeProperty(s, c), ShapeArg(c, 0)), Undefined{};
         }},
        {"shapeprop.setValueAtTime",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = ShapeProperty(s, c);
             const double t = c.Number(0);
             return s.SetShapeAtTime(p, t, ShapeArg(c, 1)), Undefined{};
         }},
        {"shapeprop.setValueAtKey",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = ShapeProperty(s, c);
             const int index = c.Index(0);
             p.KeyAt(index, "setValueAtKey");
             return s.SetShapeAtKey(p, index, ShapeArg(c, 1)), Undefined{};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
