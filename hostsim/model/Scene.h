// The host's project as scripts see and change it: items in order (folders, compositions,
// footage, solids), the selection, the viewer, the undo group, and every composition's
// layers, properties, keyframes and applied effects. The one place where the host's rules
// live: every change goes through a function here, which checks it (throwing ModelError
// with the host's wording before anything is changed) and notes one Change for the
// journal. Script references are handles (Resolve); the host invalidates them as it
// documents. Plain state without a lock: the owner (Project) guards it.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "AppModel.h"
#include "Comp.h"
#include "EffectDef.h"
#include "Mask.h"
#include "TextDocument.h"

namespace hostsim::model {

enum class ItemType { Folder, Comp, Footage, Solid };

// ---- Item attributes and the project's settings (the rules in Scene.cpp's item block) ------
std::span<const SettingRule> ItemRules();         // comment, label
std::span<const SettingRule> SolidSourceRules();  // a solid's main source
std::span<const SettingRule> ProjectRules();      // the project's plain settings
// Item.typeName in the interface language ("en_US", "de_DE", ...; others: en_US's).
const char* ItemTypeName(ItemType type, const std::string& language);
inline constexpr double kMinSolidSize = 1, kMaxSolidSize = 30000;

// ---- Footage, proxies and guides (SceneItems.cpp) -------------------------------------------
// What a footage item or a proxy shows: a file (or a sequence from its first file), a
// placeholder, or a solid. A file's size and timing are what reading it gave (the simulated
// host reads still images' headers only); frameRate 0 is a still.
enum class SourceKind { File, Placeholder, Solid };
struct FootageSetup {
    SourceKind kind = SourceKind::File;
    std::string name;  // the item's name it gives (a placeholder's, a solid's, a file's)
    std::string path;  // a file's absolute path ("~/..." from a project file)
    bool sequence = false, hasAudio = false, hasAlpha = false;
    double width = 0, height = 0, pixelAspect = 1, frameRate = 0, duration = 0;
    nlohmann::json color = nlohmann::json::array({0, 0, 0});  // a solid's
};
// A proxy: its source and that source's interpretation.
struct Proxy {
    FootageSetup setup;
    Settings source{SolidSourceRules()};
};
// A guide of an item's viewer: 0 horizontal, 1 vertical; its position in pixels.
struct Guide {
    int orientation = 0;
    double position = 0;
};
inline constexpr double kMaxFootageDuration = 10800, kMaxFootageFrameRate = 99, kMaxGuide = 100000;

struct Item {
    std::int32_t id = 0;
    std::string name;
    ItemType type = ItemType::Footage;
    std::int32_t parentId = 0;  // 0: the root folder
    bool selected = false;
    std::unique_ptr<Comp> comp;  // compositions only
    Settings settings{ItemRules()};
    // A solid's size, pixel aspect and main source (its colour and interpretation).
    double width = 100, height = 100, pixelAspect = 1;
    Settings source{SolidSourceRules()};
    // Footage other than solids (the size above is theirs too): a file or a placeholder.
    SourceKind mainKind = SourceKind::File;
    std::string path;  // a file's; empty for a placeholder
    bool sequence = false, hasAudio = false, hasAlpha = false;
    double frameRate = 0, duration = 0, time = 0;  // frameRate 0: a still
    std::unique_ptr<Proxy> proxy;
    bool useProxy = false;
    std::vector<Guide> guides;
};
// Sets a footage item's main source (no change noted: the project file's and the Scene's own).
void ApplyFootage(Item& item, const FootageSetup& setup);
// An AVItem's or a footage source's attribute (proxy: its proxy source's), by name. A file's
// footageMissing is null: whether the file is there is the script environment's to tell.
nlohmann::json FootageAttribute(const Item& item, std::string_view name, bool proxy);

// One change a script (or a command) made, as the journal records it.
struct Change {
    nlohmann::json detail;  // {"change": kind, ...}
};

enum class Switch { Enabled, Solo, Shy, Locked, Selected };
enum class LayerMove { Before, After, ToBeginning, ToEnd };

class Scene {
public:
    explicit Scene(std::vector<EffectDef> effects);

    const std::vector<EffectDef>& Effects() const { return effects_; }
    const std::vector<std::unique_ptr<Item>>& Items() const { return items_; }
    Item* FindItem(std::int32_t id) const;
    Item& RequireItem(std::int32_t id) const;  // throws "Object is invalid"
    Comp& RequireComp(std::int32_t id) const;
    Item& AppendItem(std::int32_t id, std::string name, ItemType type, std::int32_t parentId);

    // The host's rule: the composition in the viewer while the viewer is active, else the
    // single selected item, else none (0).
    std::int32_t ActiveItemId() const;
    std::int32_t viewerComp = 0;  // 0: no viewer open
    bool viewerActive = false;
    std::int32_t aegpActiveId = 0;  // the plug-in API's active item (the Project panel's)

    // ---- Script references -------------------------------------------------------------
    Node* Resolve(std::uint64_t handle) const;  // null when invalid
    Node& Require(std::uint64_t handle) const;  // throws "Object is invalid"
    Layer& RequireLayer(std::uint64_t handle) const;
    Property& RequireProperty(std::uint64_t handle) const;
    PropertyGroup& RequireGroup(std::uint64_t handle) const;  // a group or a layer
    Layer& LayerOf(const Node& node) const;

    // ---- Changes (each checks first, then changes and notes one Change) -----------------
    void SetItemName(std::int32_t id, const std::string& name);
    void SetItemSelected(std::int32_t id, bool selected);  // adds to the selection
    void SelectOnly(std::int32_t id);                      // the user clicks one item
    std::int32_t AddComp(const std::string& name, const CompSetup& setup,
                         std::int32_t parentId = 0);
    std::int32_t AddFolder(const std::string& name, std::int32_t parentId = 0);
    void SetTime(Comp& comp, double t, const char* by = "script");
    void StepFrames(Comp& comp, int step);
    void SetHideShy(Comp& comp, bool hide);
    void OpenInViewer(Comp& comp);
    void SetViewerActive();
    Layer& AddLayer(Comp& comp, const std::string& name, double width, double height,
                    std::int32_t sourceId, bool isNull, double duration);
    // addSolid: a solid item in the "Solids" folder and its layer at the top.
    Layer& AddSolid(Comp& comp, const Value& color, const std::string& name, double width,
                    double height, double pixelAspect, double duration);
    Layer& AddNull(Comp& comp, double duration);
    void RemoveLayer(Layer& layer);
    void SetLayerName(Layer& layer, const std::string& name);
    // moveBefore, moveAfter (`target`: another layer of its composition), moveToBeginning,
    // moveToEnd: the other layers keep their order. Locked layers move too (the host's guide
    // says nothing of them). Notes "layer moved" when the index changes.
    void MoveLayer(Layer& layer, LayerMove how, const Layer* target = nullptr);
    void SetSwitch(Layer& layer, Switch which, bool on);
    void SelectAllLayers(Comp& comp, bool on);
    void SetPropertySelected(Node& node, bool on);
    void SetValue(Property& p, const Value& v);
    void SetValueAtTime(Property& p, double t, const Value& v);
    int AddKey(Property& p, double t);
    void RemoveKey(Property& p, int index);
    void SetKeySelected(Property& p, int index, bool on);        // noted only when it changes
    const EffectDef* FindEffect(const std::string& name) const;  // match or display name
    // Applies the effect to the layer: earlier references to the layer's effects go
    // invalid. Throws for a name that is not installed.
    PropertyGroup& AddEffect(PropertyGroup& parade, const std::string& name);
    // Removes an effect: references to its siblings go invalid too.
    void RemoveEffect(PropertyGroup& effect);
    // ---- A key's interpolation, ease and state; values at keys; expressions (SceneKeys.cpp).
    // Each notes one Change when something changed: "key interpolation", "key ease", "key
    // state", "key tangents", "key label", "key set", "expression".
    void SetKeyInterpolation(Property& p, int index, Interpolation in, Interpolation out);
    void SetKeyEase(Property& p, int index, const std::vector<Ease>& in,
                    const std::vector<Ease>& out);
    void SetKeyFlag(Property& p, int index, KeyFlag flag, bool on, const char* method);
    void SetKeyTangents(Property& p, int index, const Value& in, const Value& out);
    void SetKeyLabel(Property& p, int index, int label);
    void SetValueAtKey(Property& p, int index, const Value& v);
    void SetValuesAtTimes(Property& p, const std::vector<double>& times,
                          const std::vector<Value>& values);
    void SetExpression(Property& p, const std::string& text);
    void SetExpressionEnabled(Property& p, bool on);

    // ---- Layers made, copied, precomposed and changed (SceneLayers.cpp) ------------------
    // addText / addBoxText (box: its [width, height]): a text layer on top, named after its
    // text until a name is set.
    Layer& AddText(Comp& comp, const TextDocument& doc, const Value* box = nullptr);
    Layer& AddShape(Comp& comp);  // "Shape Layer <n>"
    // center: [x, y], the camera's point of interest or the light's position (z 0).
    Layer& AddCamera(Comp& comp, const std::string& name, const Value& center);
    Layer& AddLight(Comp& comp, const std::string& name, const Value& center);
    // A copy directly above the layer, unselected; a set name gets the next free number.
    Layer& DuplicateLayer(Layer& layer);
    void CopyLayerToComp(Layer& layer, Comp& into);  // the copy at the top of `into`
    // The layers (1-based indices) move into a new composition of the same settings, in
    // their order, and one layer of it takes the topmost one's place; their references stay
    // valid. moveAll false (one layer only): the layer stays, showing a new composition the
    // size of its source that holds the source alone.
    Comp& Precompose(Comp& comp, const std::vector<int>& indices, const std::string& name,
                     bool moveAll);
    // A switch (0 or 1) or enumerated attribute of the table in Layer.h, checked.
    void SetLayerAttribute(Layer& layer, const LayerAttribute& attribute, double value);
    void SetLayerComment(Layer& layer, const std::string& comment);
    enum class LayerTime { Start, In, Out, Stretch };
    void SetLayerTime(Layer& layer, LayerTime which, double value);
    // parent = (no jump: the child's position, rotation and scale are offset so that it
    // stays where it is) or setParentWithJump. null: no parent.
    void SetParent(Layer& child, Layer* parent, bool jump);
    void SetSourceText(Layer& layer, const TextDocument& doc);
    // An effect's eye; refused on what has no switch (canSetEnabled false).
    void SetEffectEnabled(Node& node, bool on);

    // ---- Track mattes, light sources, time remapping, sources and layer space -------------
    // (LayerSpace.cpp; the point mappings in SceneLayers.cpp, beside the parent transform).
    // setTrackMatte: a matte of the same composition (an AV layer, never one that is mattered
    // by this one, directly or down a chain); null removes the matte and sets the type;
    // NO_TRACK_MATTE with a matte changes nothing, as the guide says.
    void SetTrackMatte(Layer& layer, Layer* matte, int type);
    void RemoveTrackMatte(Layer& layer);  // the type stays
    bool IsTrackMatte(const Layer& layer) const;
    // A light's 2D layer of the same composition; null for none.
    void SetLightSource(Layer& light, Layer* source);
    bool CanSetTimeRemapEnabled(const Layer& layer) const;  // a composition or footage source
    bool CanSetCollapseTransformation(const Layer& layer) const;
    // {top, left, width, height}: the source's rectangle; text and shape layers, whose content
    // decides it, are not modelled.
    nlohmann::json SourceRectAtTime(const Layer& layer, double time) const;
    // [x, y] through the layer's transform and its parents' at the composition's time; 2D
    // layers only.
    Value SourcePointToComp(const Layer& layer, const Value& point) const;
    Value CompPointToSource(const Layer& layer, const Value& point) const;
    void ReplaceSource(Layer& layer, std::int32_t itemId);
    bool AudioActiveAtTime(const Layer& layer, double time) const;
    // Moves the position's value and keys to its X, Y and Z Position, or back.
    void SetDimensionsSeparated(Property& leader, bool on);
    // For RemoveLayer, Precompose and SetLayerAttribute: links to a removed layer or across
    // compositions go; the legacy trackMatteType and timeRemapEnabled writes.
    void ForgetLinksTo(const Layer& layer);
    void DropCrossCompLinks(Comp& comp);
    void LegacyTrackMatteType(Layer& layer, int type);
    void SetTimeRemapKeys(Layer& layer, bool on);

    // ---- Items, folders and the project's settings ---------------------------------------
    // Folders hold items by parentId; 0 is the root folder, which holds the top-level items.
    std::vector<Item*> ItemsIn(std::int32_t folderId) const;
    std::vector<Comp*> UsedIn(std::int32_t itemId) const;  // compositions with a layer of it
    void SetItemSetting(std::int32_t id, std::string_view name, const nlohmann::json& v);
    // A solid's width, height, pixelAspect or a setting of its main source.
    void SetSolidAttribute(std::int32_t id, std::string_view name, const nlohmann::json& v);
    // Moves an item into a folder (0: the root); a folder never into itself or below itself.
    void SetParentFolder(std::int32_t id, std::int32_t folderId);
    // Removes the item, a folder's contents with it, and every layer showing a removed item.
    void RemoveItem(std::int32_t id);
    void SetCompAttribute(Comp& comp, std::string_view name, const nlohmann::json& v);
    Settings projectSettings{ProjectRules()};
    void SetProjectSetting(std::string_view name, const nlohmann::json& v);
    bool dirty = false;  // a change was noted since the project was opened

    // ---- Compositions copied, layers of items, guides, proxies, footage (SceneItems.cpp) ---
    // A copy of the composition in its folder, named as the host names copies ("Comp 1" ->
    // "Comp 2", "Main" -> "Main 2"), with its settings, markers and layers (their properties,
    // keys, effects, markers and parents); returns its id.
    std::int32_t DuplicateComp(Comp& comp);
    // layers.add: a layer of a composition or footage item on top, as long as the item (a
    // still's: `duration`, else the composition's) lasts; refused for the composition itself
    // and for one that holds it (at any depth).
    Layer& AddItemLayer(Comp& comp, std::int32_t itemId, std::optional<double> duration);
    int AddGuide(std::int32_t id, double orientation, double position);  // its 0-based index
    void RemoveGuide(std::int32_t id, int index);
    void SetGuide(std::int32_t id, double position, int index);
    // setProxy*, with useProxy true; setProxyToNone: none, useProxy false.
    void SetProxy(std::int32_t id, const FootageSetup& setup, const char* method);
    void SetProxyToNone(std::int32_t id);
    void SetUseProxy(std::int32_t id, bool on);  // refused on without a proxy
    // importFile / importPlaceholder: a new footage item in the root folder.
    std::int32_t ImportFootage(const FootageSetup& setup, const char* method);
    // replace* of a footage item (not a composition): its new main source.
    void ReplaceFootage(std::int32_t id, const FootageSetup& setup, const char* method);
    void SetFootageTime(std::int32_t id, double t);

    // ---- Markers of a layer (layer set) or of a composition (layer null) ---------------
    int SetMarkerAtTime(Comp& comp, Layer* layer, double t, MarkerValue v);
    void RemoveMarker(Comp& comp, Layer* layer, int index);
    void SetMarkerSelected(Comp& comp, Layer* layer, int index, bool on);

    // ---- Masks and the children of indexed groups (masks, effects) (SceneMasks.cpp) -------
    // addProperty: an effect into the effects group, a mask ("ADBE Mask Atom" or "Mask")
    // into the masks group, named "Mask <n>"; earlier references to its siblings go invalid.
    Node& AddProperty(PropertyGroup& group, const std::string& name);
    // remove, duplicate (the copy right after it, the next free number in its name), moveTo
    // (1-based) and name=: only a child of an indexed group; each invalidates the references
    // to the group's children.
    void RemoveProperty(Node& node);
    Node& DuplicateProperty(Node& node);
    void MoveProperty(Node& node, int newIndex);
    void SetPropertyName(Node& node, const std::string& name);
    void SetMaskAttribute(Mask& mask, const MaskAttribute& a, const nlohmann::json& v);
    // A mask path's value (at a time, or a key's: `key` 1-based) as a script reads it: not
    // modelled where the host computes the tangents itself (a RotoBezier mask) or where an
    // enabled expression would change it.
    Shape ScriptShapeAt(const Property& p, double time, int key = 0) const;
    void SetShape(Property& p, const Shape& shape);
    void SetShapeAtTime(Property& p, double t, const Shape& shape);
    void SetShapeAtKey(Property& p, int index, const Shape& shape);

    // ---- Undo groups: nested ones count, only the outermost is noted ---------------------
    void BeginUndoGroup(const std::string& name);
    void EndUndoGroup();  // throws without an open group
    void EndScript();     // closes a group the script left open
    int UndoDepth() const { return undoDepth_; }

    // ---- The application, the project's tool and metadata, the viewer's views (SceneApp.cpp)
    ViewerPanel viewerPanel;
    Settings appSettings{AppRules()};
    std::int32_t nextLayerId = 1;  // Layer.id: unique in the project, never given twice
    int ViewCount() const;         // "Object is invalid" without an open viewer
    Settings& RequireView(int view);
    bool ViewActive(int view);
    void SetViewerMaximized(bool on);
    // activeViewIndex = (focus false), or View.setActive, which also focuses the viewer.
    void SetActiveView(int view, bool focus);
    void SetViewOption(int view, std::string_view name, const nlohmann::json& v);
    void SetAppSetting(std::string_view name, const nlohmann::json& v);
    // Calls whose effect lies outside the model (activate, purge, ...): journaled only.
    void NoteAppCall(std::string_view call, nlohmann::json args);
    void SetMemoryUsageLimits(double imageCache, double maximum);
    void SetMultiFrameRenderingConfig(bool on, double maxCpuPercent);
    void Purge(double target);
    void SuppressDialogs(bool on, bool showSuppressed);
    Layer* FindLayerById(std::int32_t id) const;
    int RemoveUnusedFootage();  // how many footage items (solids too) were removed
    // Removes every item but those given and what they use; how many were removed.
    int ReduceProject(const std::vector<std::int32_t>& keepIds);

    // The changes noted since the last call, in order.
    std::vector<Change> TakeChanges();
    // "ADBE Transform Group/ADBE Opacity": the match names from the layer down.
    static std::string PathOf(const Node& node);

private:
    void Register(Node& node);    // gives the node and its subtree fresh handles
    void Unregister(Node& node);  // its subtree's handles go invalid
    void Note(nlohmann::json detail);
    nlohmann::json Where(const Node& node) const;
    std::int32_t NextId() const;
    // Puts a new layer into its composition at `index` (1-based), registered, and notes it.
    Layer& PlaceLayer(std::unique_ptr<Layer> layer, int index);

    std::vector<EffectDef> effects_;
    std::vector<std::unique_ptr<Item>> items_;
    std::unordered_map<std::uint64_t, Node*> handles_;
    std::uint64_t nextHandle_ = 1;
    int undoDepth_ = 0;
    std::string undoName_;
    std::vector<Change> changes_;
};

}  // namespace hostsim::model
