// The script bindings of Viewer: the composition viewer and its focus.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

std::span<const OpEntry> ViewerOps() {
    static const OpEntry ops[] = {
        {"viewer.active",
         [](Scene& s, const Call&) -> Out {
             if (s.viewerComp == 0) model::ThrowInvalid();
             return s.viewerActive;
         }},
        {"viewer.setActive",
         [](Scene& s, const Call&) -> Out { return s.SetViewerActive(), true; }},
        // The panel and its views (the handle: the view's 0-based index) and their options.
        {"viewer.views",
         [](Scene& s, const Call&) -> Out { return static_cast<double>(s.ViewCount()); }},
        {"viewer.activeViewIndex",
         [](Scene& s, const Call&) -> Out {
             return s.ViewCount(), static_cast<double>(s.viewerPanel.activeView);
         }},
        {"viewer.activeViewIndex=",
         [](Scene& s, const Call& c) -> Out {
             const double v = c.SetNumber("activeViewIndex");
             if (v != std::floor(v) || std::abs(v) > 1e9)
                 throw ModelError(
                     "Unable to set \"activeViewIndex\". Value is not a whole number.");
             return s.SetActiveView(static_cast<int>(v), false), Undefined{};
         }},
        {"viewer.maximized",
         [](Scene& s, const Call&) -> Out { return s.ViewCount(), s.viewerPanel.maximized; }},
        {"viewer.maximized=",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Bool && c.At(0).type != Arg::Number)
                 throw ModelError("Unable to set \"maximized\". Value is not a boolean.");
             const bool on = c.At(0).type == Arg::Bool ? c.At(0).flag : c.At(0).number != 0;
             return s.SetViewerMaximized(on), Undefined{};
         }},
        {"view.active",
         [](Scene& s, const Call& c) -> Out { return s.ViewActive(static_cast<int>(c.handle)); }},
        {"view.setActive",
         [](Scene& s, const Call& c) -> Out {
             return s.SetActiveView(static_cast<int>(c.handle), true), true;
         }},
        {"view.option",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireView(static_cast<int>(c.handle)).Get(c.Text(0));
         }},
        {"view.option=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetViewOption(static_cast<int>(c.handle), c.Text(0), ArgJson(c.At(1))),
                    Undefined{};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
