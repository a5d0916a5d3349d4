// The application's and the viewer's state as scripts see it: the composition viewer's panel
// (maximized, its views and which is active) and each view's options, the project's active
// tool and XMP metadata, and the application's stored preferences (memory limits, the
// multi-frame rendering configuration, whether preferences are saved on quit). Each is a
// stored value checked by its rule (Settings.h); the Scene changes them (SceneApp.cpp). Plain
// state; main thread or under the Scene's owner's lock.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "Settings.h"

namespace hostsim::model {

// A view's options: channels, checkerboards, exposure, fastPreview, guidesLocked, guidesSnap,
// guidesVisibility, rulers, zoom.
std::span<const SettingRule> ViewOptionRules();
// The application's and the project's stored values: toolType, xmpPacket,
// savePreferencesOnQuit, imageCachePercentage, maximumMemoryPercentage, multiFrameRendering,
// maxCpuPercentage, dialogsSuppressed.
std::span<const SettingRule> AppRules();
// FastPreviewType.FP_DRAFT: ray-traced 3D compositions only, which the model has none of.
inline constexpr double kFastPreviewDraft = 8014;

// app.language: the Language value of the interface language ("de_DE": GERMAN); a language
// the enumeration lacks, and en_US, are ENGLISH.
double LanguageValue(const std::string& language);

// The composition viewer panel: the host's default layout has one view.
struct ViewerPanel {
    bool maximized = false;
    int activeView = 0;
    std::vector<Settings> views = std::vector<Settings>(1, Settings(ViewOptionRules()));
};

}  // namespace hostsim::model
