// The script bindings of Property: values, keys and their selection, value type and range.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

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

}  // namespace

std::span<const OpEntry> PropertyOps() {
    static const OpEntry ops[] = {
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
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).NumKeys() > 0;
         }},
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
             return static_cast<double>(s.RequireProperty(c.Handle()).NearestKeyIndex(c.Number(0)));
         }},
        {"prop.keySelected",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).KeySelected(c.Index(0));
         }},
        {"prop.setSelectedAtKey",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             const int index = c.Index(0);
             if (c.At(1).type != Arg::Bool)
                 model::ThrowParameter("setSelectedAtKey", 2, "Value is not a boolean.");
             return s.SetKeySelected(p, index, c.At(1).flag), Undefined{};
         }},
        {"prop.selectedKeys",
         [](Scene& s, const Call& c) -> Out {
             std::vector<double> out;
             for (int i : s.RequireProperty(c.Handle()).SelectedKeys()) out.push_back(i);
             return out;
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

}  // namespace hostsim::bindings
