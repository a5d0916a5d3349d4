// The script bindings of what ties a layer to other layers and to its source (track mattes, a
// light's source layer, time remapping, layer space, replacing the source) and of a
// position's separated dimensions. Main thread, during a script, under the project's lock.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

// A layer argument that may be null: the script half passes a layer as its handle, null as
// null and anything else as false.
model::Layer* LayerOrNull(Scene& s, const Call& c, std::size_t i) {
    return c.At(i).type == Arg::Null ? nullptr : &LayerArg(s, c, i);
}

model::Value PointArg(const Call& c) {
    if (c.At(0).type != Arg::Numbers)
        model::ThrowParameter(std::string(c.method), 1, "Array of 2 numbers expected.");
    return c.At(0).numbers;
}

// The guide answers these for a separation follower only; on any other property what the
// host gives is unknown, so the model says it lacks it.
ModelError NotAFollower(const std::string& name) {
    return ModelError("\"" + name + "\" is not modelled by the simulated host");
}

Out FollowerOrNull(const model::Property* p) { return p ? Out(NodeRef(*p)) : Out(Null{}); }

}  // namespace

std::span<const OpEntry> LayerSpaceOps() {
    static const OpEntry ops[] = {
        // ---- track mattes ----
        {"layer.setTrackMatte",
         [](Scene& s, const Call& c) -> Out {
             model::Layer& l = s.RequireLayer(c.Handle());
             model::Layer* matte = LayerOrNull(s, c, 0);
             return s.SetTrackMatte(l, matte, c.Index(1)), Undefined{};
         }},
        {"layer.removeTrackMatte",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveTrackMatte(s.RequireLayer(c.Handle())), Undefined{};
         }},
        {"layer.trackMatteLayer",
         [](Scene& s, const Call& c) -> Out {
             return NodeOrNull(s.RequireLayer(c.Handle()).trackMatteLayer);
         }},
        {"layer.hasTrackMatte",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireLayer(c.Handle()).trackMatteLayer != nullptr;
         }},
        {"layer.isTrackMatte",
         [](Scene& s, const Call& c) -> Out { return s.IsTrackMatte(s.RequireLayer(c.Handle())); }},
        {"layer.lightSource",
         [](Scene& s, const Call& c) -> Out {
             return NodeOrNull(s.RequireLayer(c.Handle()).lightSource);
         }},
        {"layer.lightSource=",
         [](Scene& s, const Call& c) -> Out {
             model::Layer& l = s.RequireLayer(c.Handle());
             if (c.At(0).type != Arg::Null && c.At(0).type != Arg::Number)
                 throw ModelError("Invalid light source specified");
             return s.SetLightSource(l, LayerOrNull(s, c, 0)), Undefined{};
         }},
        // ---- time remapping, collapse, the source ----
        {"layer.canSetTimeRemapEnabled",
         [](Scene& s, const Call& c) -> Out {
             return s.CanSetTimeRemapEnabled(s.RequireLayer(c.Handle()));
         }},
        {"layer.canSetCollapseTransformation",
         [](Scene& s, const Call& c) -> Out {
             return s.CanSetCollapseTransformation(s.RequireLayer(c.Handle()));
         }},
        {"layer.sourceRectAtTime",
         [](Scene& s, const Call& c) -> Out {
             return s.SourceRectAtTime(s.RequireLayer(c.Handle()), c.Number(0));
         }},
        {"layer.sourcePointToComp",
         [](Scene& s, const Call& c) -> Out {
             return s.SourcePointToComp(s.RequireLayer(c.Handle()), PointArg(c));
         }},
        {"layer.compPointToSource",
         [](Scene& s, const Call& c) -> Out {
             return s.CompPointToSource(s.RequireLayer(c.Handle()), PointArg(c));
         }},
        {"layer.replaceSource",
         [](Scene& s, const Call& c) -> Out {
             model::Layer& l = s.RequireLayer(c.Handle());
             if (c.At(0).type != Arg::Number)
                 model::ThrowParameter("replaceSource", 1, "Value is not an AVItem.");
             if (c.At(1).type != Arg::Bool)
                 model::ThrowParameter("replaceSource", 2, "Value is not a boolean.");
             // fixExpressions: expressions are kept, never evaluated, so none needs fixing.
             return s.ReplaceSource(l, static_cast<std::int32_t>(c.At(0).number)), Undefined{};
         }},
        {"layer.audioActiveAtTime",
         [](Scene& s, const Call& c) -> Out {
             return s.AudioActiveAtTime(s.RequireLayer(c.Handle()), c.Number(0));
         }},
        // ---- separated dimensions ----
        {"prop.isSeparationLeader",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).IsSeparationLeader();
         }},
        {"prop.isSeparationFollower",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).SeparationDimension() >= 0;
         }},
        {"prop.dimensionsSeparated",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).dimensionsSeparated;
         }},
        {"prop.dimensionsSeparated=",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             if (c.At(0).type != Arg::Bool)
                 throw ModelError("Unable to set \"dimensionsSeparated\". Value is not a boolean.");
             return s.SetDimensionsSeparated(p, c.Flag()), Undefined{};
         }},
        {"prop.separationDimension",
         [](Scene& s, const Call& c) -> Out {
             const model::Property& p = s.RequireProperty(c.Handle());
             if (p.SeparationDimension() < 0) throw NotAFollower("separationDimension");
             return static_cast<double>(p.SeparationDimension());
         }},
        {"prop.separationLeader",
         [](Scene& s, const Call& c) -> Out {
             const model::Property& p = s.RequireProperty(c.Handle());
             if (p.SeparationDimension() < 0) throw NotAFollower("separationLeader");
             return FollowerOrNull(p.SeparationLeader());
         }},
        {"prop.getSeparationFollower",
         [](Scene& s, const Call& c) -> Out {
             const model::Property& p = s.RequireProperty(c.Handle());
             const int dimension = c.Index(0);
             if (!p.IsSeparationLeader())
                 model::ThrowCall("getSeparationFollower",
                                  "the property is not a separation leader");
             if (dimension < 0 || dimension > 2)
                 model::ThrowParameterRange("getSeparationFollower", 1, dimension, 0, 2);
             return FollowerOrNull(p.SeparationFollower(dimension));
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
