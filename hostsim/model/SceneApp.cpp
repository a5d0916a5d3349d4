// The application's, the project's tool and metadata's and the composition viewer's stored
// values, layers found by their id, and unused footage removed. main thread or under the
// Scene's owner's lock.
#include <algorithm>
#include <string>

#include "AppModel.h"
#include "Layer.h"
#include "ModelError.h"
#include "Scene.h"

namespace hostsim::model {

using nlohmann::json;

std::span<const SettingRule> ViewOptionRules() {
    // ChannelType and FastPreviewType values; exposure and zoom as the guide gives their range.
    static const SettingRule rules[] = {
        {"channels",
         SettingKind::Choice,
         7812,
         0,
         0,
         {7812, 7813, 7814, 7815, 7816, 7817, 7818, 7819, 7820, 7821, 7822}},
        {"checkerboards", SettingKind::Flag, false},
        {"exposure", SettingKind::Number, 0, -40, 40},
        {"fastPreview", SettingKind::Choice, 8012, 0, 0, {8012, 8013, 8014, 8015, 8016}},
        {"guidesLocked", SettingKind::Flag, false},
        {"guidesSnap", SettingKind::Flag, false},
        {"guidesVisibility", SettingKind::Flag, true},
        {"rulers", SettingKind::Flag, false},
        {"zoom", SettingKind::Number, 1, 0.01, 16},
    };
    return rules;
}

std::span<const SettingRule> AppRules() {
    // toolType: the ToolType values (two names share 9015, 9016 and 9017).
    static const SettingRule rules[] = {
        {"toolType", SettingKind::Choice, 9012, 0, 0, {9012, 9013, 9014, 9015, 9016, 9017,
                                                       9018, 9019, 9020, 9021, 9022, 9023,
                                                       9024, 9025, 9026, 9027, 9028, 9029,
                                                       9030, 9031, 9032, 9033, 9034, 9035,
                                                       9036, 9037, 9038, 9040, 9041, 9042,
                                                       9043, 9044, 9045, 9046, 9047, 9048}},
        {"xmpPacket", SettingKind::Text,
         "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
         " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/>\n"
         "</x:xmpmeta>\n<?xpacket end=\"w\"?>"},
        {"savePreferencesOnQuit", SettingKind::Flag, true},
        {"imageCachePercentage", SettingKind::Number, 80, 0, 100},
        {"maximumMemoryPercentage", SettingKind::Number, 100, 0, 100},
        {"multiFrameRendering", SettingKind::Flag, true},
        {"maxCpuPercentage", SettingKind::Integer, 100, 1, 100},
        {"dialogsSuppressed", SettingKind::Flag, false},
    };
    return rules;
}

double LanguageValue(const std::string& language) {
    static const struct {
        const char* prefix;
        double value;
    } languages[] = {{"ja", 1613}, {"de", 1614}, {"fr", 1615}, {"it", 1616}, {"es", 1617},
                     {"ko", 1618}, {"zh", 1619}, {"ru", 1620}, {"pt", 1621}};
    for (const auto& l : languages)
        if (language.starts_with(l.prefix)) return l.value;
    return 1612;
}

int Scene::ViewCount() const {
    if (viewerComp == 0) ThrowInvalid();
    return static_cast<int>(viewerPanel.views.size());
}

Settings& Scene::RequireView(int view) {
    if (view < 0 || view >= ViewCount()) ThrowInvalid();
    return viewerPanel.views[static_cast<std::size_t>(view)];
}

bool Scene::ViewActive(int view) {
    RequireView(view);
    return viewerActive && viewerPanel.activeView == view;
}

void Scene::SetViewerMaximized(bool on) {
    ViewCount();
    viewerPanel.maximized = on;
    Note({{"change", "viewer"}, {"comp", viewerComp}, {"attribute", "maximized"}, {"to", on}});
}

void Scene::SetActiveView(int view, bool focus) {
    const int count = ViewCount();
    if (view < 0 || view >= count) {
        if (focus) ThrowInvalid();
        ThrowAttributeRange("activeViewIndex", view, 0, count - 1);
    }
    viewerPanel.activeView = view;
    if (focus) viewerActive = true;
    Note({{"change", "viewer"},
          {"comp", viewerComp},
          {"attribute", "activeViewIndex"},
          {"to", view}});
}

void Scene::SetViewOption(int view, std::string_view name, const json& v) {
    Settings& options = RequireView(view);
    const json to = options.Checked(name, v);
    if (name == "fastPreview" && to.get<double>() == kFastPreviewDraft)
        throw ModelError("Cannot set Draft fast preview mode in a Classic 3D composition.");
    options.Set(name, to);
    Note({{"change", "view option"}, {"view", view}, {"attribute", name}, {"to", to}});
}

void Scene::SetAppSetting(std::string_view name, const json& v) {
    appSettings.Set(name, v);
    Note({{"change", "app"}, {"attribute", name}, {"to", appSettings.Get(name)}});
}

void Scene::NoteAppCall(std::string_view call, json args) {
    Note({{"change", "app call"}, {"call", call}, {"args", std::move(args)}});
}

void Scene::SetMemoryUsageLimits(double imageCache, double maximum) {
    const double given[] = {imageCache, maximum};
    for (int i = 0; i < 2; ++i)
        if (!(given[i] >= 0 && given[i] <= 100))
            ThrowParameterRange("setMemoryUsageLimits", i + 1, given[i], 0, 100);
    appSettings.Set("imageCachePercentage", imageCache);
    appSettings.Set("maximumMemoryPercentage", maximum);
    NoteAppCall("setMemoryUsageLimits", {imageCache, maximum});
}

void Scene::SetMultiFrameRenderingConfig(bool on, double maxCpuPercent) {
    if (!(maxCpuPercent >= 1 && maxCpuPercent <= 100))
        ThrowParameterRange("setMultiFrameRenderingConfig", 2, maxCpuPercent, 1, 100);
    if (maxCpuPercent != static_cast<int>(maxCpuPercent))
        ThrowParameter("setMultiFrameRenderingConfig", 2, "Value is not a whole number.");
    appSettings.Set("multiFrameRendering", on);
    appSettings.Set("maxCpuPercentage", maxCpuPercent);
    NoteAppCall("setMultiFrameRenderingConfig", {on, maxCpuPercent});
}

void Scene::Purge(double target) {
    // PurgeTarget: ALL_CACHES, UNDO_CACHES, SNAPSHOT_CACHES, IMAGE_CACHES, ALL_MEMORY_CACHES.
    if (target != 1412 && target != 1413 && target != 1414 && target != 1415 && target != 1416)
        ThrowParameter("purge", 1,
                       "Value " + FormatNumber(target) + " is not one of the allowed values.");
    NoteAppCall("purge", json::array({target}));
}

void Scene::SuppressDialogs(bool on, bool showSuppressed) {
    appSettings.Set("dialogsSuppressed", on);
    if (on) return NoteAppCall("beginSuppressDialogs", json::array());
    NoteAppCall("endSuppressDialogs", {showSuppressed});
}

Layer* Scene::FindLayerById(std::int32_t id) const {
    for (const auto& item : items_)
        if (item->comp)
            for (const auto& layer : item->comp->layers)
                if (layer->layerId == id) return layer.get();
    return nullptr;
}

int Scene::RemoveUnusedFootage() {
    // Footage and solids that no composition's layer shows; each removal is noted.
    std::vector<std::int32_t> unused;
    for (const auto& item : items_)
        if ((item->type == ItemType::Footage || item->type == ItemType::Solid) &&
            UsedIn(item->id).empty())
            unused.push_back(item->id);
    for (const std::int32_t id : unused) RemoveItem(id);
    return static_cast<int>(unused.size());
}

int Scene::ReduceProject(const std::vector<std::int32_t>& keepIds) {
    if (keepIds.empty()) ThrowParameter("reduceProject", 1, "The array holds no item.");
    // What stays: the given items, a folder's contents, what a kept composition's layers show
    // (through nested compositions), and the folders holding anything kept.
    // whole[i]: keep[i] was given or lies in a given folder, so its contents stay too (a
    // folder kept only for holding something keeps only that).
    std::vector<std::int32_t> keep;
    std::vector<bool> whole;
    const auto kept = [&](std::int32_t id) {
        return std::find(keep.begin(), keep.end(), id) != keep.end();
    };
    const auto add = [&](std::int32_t id, bool all) {
        if (!kept(id)) keep.push_back(id), whole.push_back(all);
    };
    for (const std::int32_t id : keepIds) RequireItem(id), add(id, true);
    for (std::size_t i = 0; i < keep.size(); ++i) {
        const Item& item = RequireItem(keep[i]);
        if (item.comp)
            for (const auto& layer : item.comp->layers)
                if (layer->sourceId != 0) add(layer->sourceId, true);
        if (item.type == ItemType::Folder && whole[i])
            for (const Item* inside : ItemsIn(item.id)) add(inside->id, true);
        if (item.parentId != 0) add(item.parentId, false);
    }
    const std::size_t before = items_.size();
    std::vector<std::int32_t> all;
    for (const auto& item : items_) all.push_back(item->id);
    for (const std::int32_t id : all)
        if (!kept(id) && FindItem(id) != nullptr) RemoveItem(id);
    return static_cast<int>(before - items_.size());
}

}  // namespace hostsim::model
