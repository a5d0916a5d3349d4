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
    };
    return ops;
}

}  // namespace hostsim::bindings
