// The script bindings of Application: the active viewer and undo groups.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

std::span<const OpEntry> AppOps() {
    static const OpEntry ops[] = {
        {"app.activeViewer",
         [](Scene& s, const Call&) -> Out {
             return s.viewerComp != 0 ? Out(Ref{'v', 1}) : Out(Null{});
         }},
        {"app.beginUndoGroup",
         [](Scene& s, const Call& c) -> Out {
             s.BeginUndoGroup(c.At(0).type == Arg::Text ? c.At(0).text : "");
             return Undefined{};
         }},
        {"app.endUndoGroup",
         [](Scene& s, const Call&) -> Out { return s.EndUndoGroup(), Undefined{}; }},
    };
    return ops;
}

}  // namespace hostsim::bindings
