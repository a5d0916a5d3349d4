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
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

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
};

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
