// The script bindings of Project and ItemCollection: items, selection, new items (in the
// collection's folder), the project's settings.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

std::span<const OpEntry> ProjectOps() {
    static const OpEntry ops[] = {
        {"project.numItems",
         [](Scene& s, const Call&) -> Out { return static_cast<double>(s.Items().size()); }},
        {"project.items", [](Scene& s, const Call&) -> Out { return ItemRefs(s, false); }},
        {"project.selection", [](Scene& s, const Call&) -> Out { return ItemRefs(s, true); }},
        {"project.item",
         [](Scene& s, const Call& c) -> Out {
             const int i = c.Index(0), n = static_cast<int>(s.Items().size());
             if (i < 1 || i > n) model::ThrowParameterRange("item", 1, i, 1, n);
             return ItemRef(*s.Items()[static_cast<std::size_t>(i - 1)]);
         }},
        {"project.itemByID",
         [](Scene& s, const Call& c) -> Out {
             const model::Item* item = s.FindItem(c.Index(0));
             return item ? Out(ItemRef(*item)) : Out(Null{});
         }},
        {"project.activeItem",
         [](Scene& s, const Call&) -> Out {
             const model::Item* item = s.FindItem(s.ActiveItemId());
             return item ? Out(ItemRef(*item)) : Out(Null{});
         }},
        {"project.addComp",
         [](Scene& s, const Call& c) -> Out {
             const model::CompSetup setup{c.Number(1), c.Number(2), c.Number(3), c.Number(4),
                                          c.Number(5)};
             // The collection's folder (0: the project's or the root folder's).
             return ItemRef(s.RequireItem(s.AddComp(c.Text(0), setup, c.ItemId())));
         }},
        {"project.addFolder",
         [](Scene& s, const Call& c) -> Out {
             return ItemRef(s.RequireItem(s.AddFolder(c.Text(0), c.ItemId())));
         }},
        {"project.setting",
         [](Scene& s, const Call& c) -> Out {
             if (c.Text(0) == "displayStartFrame")
                 return s.projectSettings.Get("framesCountType") == 2613 ? 1.0 : 0.0;
             return s.projectSettings.Get(c.Text(0));
         }},
        {"project.setting=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetProjectSetting(c.Text(0), ArgJson(c.At(1))), Undefined{};
         }},
        {"project.listColorProfiles",
         [](Scene&, const Call&) -> Out {
             nlohmann::json names = nlohmann::json::array();
             for (const auto& rule : model::ProjectRules())
                 if (rule.name == "workingSpace")
                     for (const auto text : rule.texts)
                         if (!text.empty()) names.push_back(text);
             return names;
         }},
        {"project.dirty", [](Scene& s, const Call&) -> Out { return s.dirty; }},
        // Layers by their id; the application's and the project's stored values by name.
        {"layer.id",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.RequireLayer(c.Handle()).layerId);
         }},
        {"project.layerByID",
         [](Scene& s, const Call& c) -> Out { return NodeOrNull(s.FindLayerById(c.Index(0))); }},
        {"app.setting",
         [](Scene& s, const Call& c) -> Out { return s.appSettings.Get(c.Text(0)); }},
        {"app.setting=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetAppSetting(c.Text(0), ArgJson(c.At(1))), Undefined{};
         }},
        {"project.reduceProject",
         [](Scene& s, const Call& c) -> Out {
             // The script half passes the items' ids, or null for what is not an array of items.
             if (c.At(0).type != Arg::Numbers)
                 model::ThrowParameter("reduceProject", 1, "Value is not an array of items.");
             std::vector<std::int32_t> ids;
             for (const double id : c.At(0).numbers) ids.push_back(static_cast<std::int32_t>(id));
             return static_cast<double>(s.ReduceProject(ids));
         }},
        {"project.removeUnusedFootage",
         [](Scene& s, const Call&) -> Out { return static_cast<double>(s.RemoveUnusedFootage()); }},
        // ---- Import: a file's record (read by the environment first) or a placeholder ----
        {"project.importFile",
         [](Scene& s, const Call& c) -> Out {
             const Arg& a = c.At(0);
             if (a.type != Arg::Other || !a.json.is_object())
                 model::ThrowParameter("importFile", 1, "Value is not an ImportOptions.");
             model::FootageSetup setup;
             setup.name = a.json.value("name", "");
             setup.path = a.json.value("path", "");
             setup.sequence = a.json.value("sequence", false);
             setup.hasAlpha = a.json.value("hasAlpha", false);
             setup.width = a.json.value("width", 0.0), setup.height = a.json.value("height", 0.0);
             setup.frameRate = a.json.value("frameRate", 0.0);
             setup.duration = a.json.value("duration", 0.0);
             return ItemRef(s.RequireItem(s.ImportFootage(setup, "importFile")));
         }},
        {"project.importPlaceholder",
         [](Scene& s, const Call& c) -> Out {
             model::FootageSetup setup;
             setup.kind = model::SourceKind::Placeholder;
             setup.name = c.Text(0);
             setup.width = c.Number(1), setup.height = c.Number(2);
             setup.frameRate = c.Number(3), setup.duration = c.Number(4);
             return ItemRef(s.RequireItem(s.ImportFootage(setup, "importPlaceholder")));
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
