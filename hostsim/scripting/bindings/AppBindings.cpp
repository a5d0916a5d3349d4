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
        // The application's stored preferences, dialogs and calls outside the model.
        {"app.language",
         [](Scene&, const Call& c) -> Out { return model::LanguageValue(c.Text(0)); }},
        {"app.activate",
         [](Scene& s, const Call&) -> Out {
             return s.NoteAppCall("activate", nlohmann::json::array()), Undefined{};
         }},
        {"app.purge",
         [](Scene& s, const Call& c) -> Out { return s.Purge(c.Number(0)), Undefined{}; }},
        {"app.beginSuppressDialogs",
         [](Scene& s, const Call&) -> Out { return s.SuppressDialogs(true, false), Undefined{}; }},
        {"app.endSuppressDialogs",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Bool)
                 model::ThrowParameter("endSuppressDialogs", 1, "Value is not a boolean.");
             return s.SuppressDialogs(false, c.At(0).flag), Undefined{};
         }},
        {"app.setSavePreferencesOnQuit",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Bool)
                 model::ThrowParameter("setSavePreferencesOnQuit", 1, "Value is not a boolean.");
             return s.SetAppSetting("savePreferencesOnQuit", c.At(0).flag), Undefined{};
         }},
        {"app.setMemoryUsageLimits",
         [](Scene& s, const Call& c) -> Out {
             return s.SetMemoryUsageLimits(c.Number(0), c.Number(1)), Undefined{};
         }},
        {"app.setMultiFrameRenderingConfig",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Bool)
                 model::ThrowParameter("setMultiFrameRenderingConfig", 1,
                                       "Value is not a boolean.");
             return s.SetMultiFrameRenderingConfig(c.At(0).flag, c.Number(1)), Undefined{};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
