// The simulated host's model on its own, without the script engine: the host's rules for
// ranges (and that a refused change changes nothing), interpolation between keys, key
// selection, a layer's `active`, the project's active item, undo groups, references
// invalidated by removing and adding effects, frame steps and the command table; and key
// selection as the project file and a script reach it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/Catalog.h"
#include "core/Host.h"
#include "model/ModelError.h"

namespace {

using namespace hostsim::model;
using nlohmann::json;

// The built-in project: Main Comp (id 2, 10 s at 25 fps) with Title, Logo (opacity keyed 0 at
// 0 s to 100 at 2 s) and Background, open in the viewer.
struct Fixture {
    std::unique_ptr<Scene> scene =
        hostsim::BuildScene(hostsim::BuiltInProject(), hostsim::BuiltInEffects(), "built-in");
    Comp& comp = scene->RequireComp(2);
    Layer& title = *comp.LayerAt(1);
    Layer& logo = *comp.LayerAt(2);
    Property& opacity = title.TransformProperty("ADBE Opacity");
    Property& logoOpacity = logo.TransformProperty("ADBE Opacity");
    Property& position = title.TransformProperty("ADBE Position");
};

std::string ErrorOf(const std::function<void()>& act) {
    try {
        act();
    } catch (const ModelError& e) {
        return e.what();
    }
    return "";
}

TEST(HostModel, RefusedChangesHaveTheHostsWordingAndChangeNothing) {
    Fixture f;
    const struct {
        const char* what;
        std::function<void(Fixture&)> act;
        const char* error;
    } cases[] = {
        {"opacity above its range", [](Fixture& f) { f.scene->SetValue(f.opacity, {150}); },
         R"(Unable to call "setValue" because of parameter 1. Value 150 out of range 0 to 100.)"},
        {"a key's value below the range",
         [](Fixture& f) { f.scene->SetValueAtTime(f.opacity, 1, {-1}); },
         R"(Unable to call "setValueAtTime" because of parameter 2. Value -1 out of range 0 to 100.)"},
        {"the playhead past the end", [](Fixture& f) { f.scene->SetTime(f.comp, 15); },
         R"(Unable to set "time". Value 15 out of range 0 to 10.)"},
        {"the playhead before 0", [](Fixture& f) { f.scene->SetTime(f.comp, -0.5); },
         R"(Unable to set "time". Value -0.5 out of range 0 to 10.)"},
        {"setValue on a keyed property", [](Fixture& f) { f.scene->SetValue(f.logoOpacity, {5}); },
         R"(Unable to call "setValue" because the property has keyframes; use setValueAtTime or setValueAtKey instead.)"},
        {"a key index past the end", [](Fixture& f) { f.scene->RemoveKey(f.logoOpacity, 3); },
         R"(Unable to call "removeKey" because of parameter 1. Value 3 out of range 1 to 2.)"},
        {"a position of one number", [](Fixture& f) { f.scene->SetValue(f.position, {1}); },
         R"(Unable to call "setValue" because of parameter 1. Array of 3 numbers expected.)"},
        {"an effect that is not installed",
         [](Fixture& f) { f.scene->AddEffect(f.title.Effects(), "No Such Effect"); },
         R"(Unable to call "addProperty" because of parameter 1. "No Such Effect" is not the name of an installed effect.)"},
        {"a solid of a colour out of range",
         [](Fixture& f) {
             f.scene->AddSolid(f.comp, {1, 2, 0}, "S", 100, 100, 1, 5);
         },
         R"(Unable to call "addSolid" because of parameter 1. Value 2 out of range 0 to 1.)"},
        {"a key selection past the end",
         [](Fixture& f) { f.scene->SetKeySelected(f.logoOpacity, 3, true); },
         R"(Unable to call "setSelectedAtKey" because of parameter 1. Value 3 out of range 1 to 2.)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto items = f.scene->Items().size();
        EXPECT_EQ(ErrorOf([&] { c.act(f); }), c.error);
        EXPECT_EQ(f.opacity.ValueAt(0), (Value{100}));
        EXPECT_EQ(f.opacity.NumKeys(), 0);
        EXPECT_EQ(f.logoOpacity.NumKeys(), 2);
        EXPECT_TRUE(f.logoOpacity.SelectedKeys().empty());
        EXPECT_EQ(f.position.ValueAt(0), (Value{960, 540, 0}));
        EXPECT_EQ(f.comp.time, 0);
        EXPECT_EQ(f.scene->Items().size(), items);
        EXPECT_EQ(f.title.Effects().Count(), 0);
        EXPECT_TRUE(f.scene->TakeChanges().empty());
    }
    // A position given as [x, y] keeps its z, as the host's 2D layers do.
    f.scene->SetValue(f.position, {10, 20});
    EXPECT_EQ(f.position.ValueAt(0), (Value{10, 20, 0}));
}

TEST(HostModel, ValuesBetweenKeysAreLinearAndHeldOutsideThem) {
    Fixture f;
    f.scene->SetValueAtTime(f.position, 1, {0, 0, 0});
    f.scene->SetValueAtTime(f.position, 3, {100, -50, 10});
    const struct {
        double time;
        double opacity;  // Logo: 0 at 0 s, 100 at 2 s
        Value position;  // Title: [0,0,0] at 1 s, [100,-50,10] at 3 s
    } cases[] = {{-1, 0, {0, 0, 0}},          {0, 0, {0, 0, 0}},      {0.5, 25, {0, 0, 0}},
                 {1.5, 75, {25, -12.5, 2.5}}, {2, 100, {50, -25, 5}}, {9, 100, {100, -50, 10}}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(f.logoOpacity.ValueAt(c.time)[0], c.opacity) << c.time;
        EXPECT_EQ(f.position.ValueAt(c.time), c.position) << c.time;
    }
    // A key added between two keeps the curve; one at an existing time replaces it.
    EXPECT_EQ(f.scene->AddKey(f.logoOpacity, 1), 2);
    EXPECT_EQ(f.logoOpacity.KeyValue(2), (Value{50}));
    f.scene->SetValueAtTime(f.logoOpacity, 1, {10});
    EXPECT_EQ(f.logoOpacity.NumKeys(), 3);
    EXPECT_EQ(f.logoOpacity.NearestKeyIndex(1.8), 3);
    // Removing the last key leaves its value as the static one.
    for (int i = 3; i >= 2; --i) f.scene->RemoveKey(f.logoOpacity, i);
    f.scene->RemoveKey(f.logoOpacity, 1);
    EXPECT_EQ(f.logoOpacity.ValueAt(5), (Value{0}));
}

TEST(HostModel, KeysKeepTheirSelectionAsOtherKeysComeAndGo) {
    Fixture f;
    Property& p = f.logoOpacity;  // keys at 0 s and 2 s
    const struct {
        const char* what;
        std::function<void(Scene&)> act;
        std::vector<int> selected;
        int noted;              // "key selected" changes noted
        const char* keyChange;  // the change a key's value noted, if any
    } steps[] = {
        {"select the 2 s key", [&](Scene& s) { s.SetKeySelected(p, 2, true); }, {2}, 1, nullptr},
        {"a key added before it", [&](Scene& s) { s.AddKey(p, 1); }, {3}, 0, "key added"},
        {"select the 0 s key", [&](Scene& s) { s.SetKeySelected(p, 1, true); }, {1, 3}, 1, nullptr},
        {"a selected key's value replaced",
         [&](Scene& s) { s.SetValueAtTime(p, 2, {40}); },
         {1, 3},
         0,
         "key set"},
        {"a key added at a key's time", [&](Scene& s) { s.AddKey(p, 1); }, {1, 3}, 0, "key set"},
        {"the 1 s key removed", [&](Scene& s) { s.RemoveKey(p, 2); }, {1, 2}, 0, nullptr},
        {"deselect the 0 s key", [&](Scene& s) { s.SetKeySelected(p, 1, false); }, {2}, 1, nullptr},
        {"deselect it again", [&](Scene& s) { s.SetKeySelected(p, 1, false); }, {2}, 0, nullptr},
        {"a key set after it", [&](Scene& s) { s.SetValueAtTime(p, 5, {9}); }, {2}, 0, "key added"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.act(*f.scene);
        EXPECT_EQ(p.SelectedKeys(), step.selected);
        for (int i = 1; i <= p.NumKeys(); ++i)
            EXPECT_EQ(p.KeySelected(i), std::ranges::count(step.selected, i) == 1) << i;
        int noted = 0;
        std::string keyChange;
        for (const auto& change : f.scene->TakeChanges()) {
            noted += change.detail["change"] == "key selected";
            if (change.detail["change"] == "key added" || change.detail["change"] == "key set")
                keyChange = change.detail["change"];
        }
        EXPECT_EQ(noted, step.noted);
        EXPECT_EQ(keyChange, step.keyChange ? step.keyChange : "");
    }
    EXPECT_EQ(
        ErrorOf([&] { p.KeySelected(0); }),
        R"(Unable to call "keySelected" because of parameter 1. Value 0 out of range 1 to 3.)");
}

TEST(HostModel, TheProjectFileSelectsKeysAndScriptsReadAndChangeThem) {
    auto project = hostsim::BuiltInProject();
    project.items[1].comp["layers"][1]["properties"]["Opacity"]["keys"] =
        json::parse(R"([[0, 0], [1, 50, {"selected": true}], [2, 100]])");
    hostsim::Host host({}, hostsim::BuiltInEffects(), project);
    const std::string prefix = "var p = app.project.item(2).layer(2).transform.opacity; ";
    const struct {
        std::string script, result, error;
    } cases[] = {
        {"p.selectedKeys.join() + '|' + p.keySelected(1) + p.keySelected(2) + '|' + p.selected",
         "2|falsetrue|true", ""},
        {"p.setSelectedAtKey(3, true); p.addKey(0.5); p.selectedKeys.join()", "3,4", ""},
        // A refused call selects nothing: the index is checked, then the switch.
        {"p.setSelectedAtKey(1, 'yes')", "",
         R"(Error: Unable to call "setSelectedAtKey" because of parameter 2. Value is not a boolean. (line 1))"},
        {"p.setSelectedAtKey(1.5, true)", "",
         R"(Error: Unable to call "setSelectedAtKey" because of parameter 1. Value is not a whole number. (line 1))"},
        {"p.keySelected(5)", "",
         R"(Error: Unable to call "keySelected" because of parameter 1. Value 5 out of range 1 to 4. (line 1))"},
        {"p.selectedKeys = [1]", "",
         R"(Error: Unable to set "selectedKeys". It is read-only. (line 1))"},
        {"p.setSelectedAtKey(4, false); p.selectedKeys.join()", "3", ""},
    };
    for (const auto& c : cases) {
        const auto outcome = host.RunScript(prefix + c.script);
        EXPECT_EQ(outcome.result, c.result) << c.script;
        EXPECT_EQ(outcome.error, c.error) << c.script;
    }
}

TEST(HostModel, ALayerIsActiveWhenEnabledInsideItsTimesAndNotHiddenBySolo) {
    const struct {
        bool enabled, solo, otherSolo;
        double time;
        bool active;
    } cases[] = {
        {true, false, false, 1, true},    {false, false, false, 1, false},
        {true, false, true, 1, false},    {true, true, true, 1, true},
        {true, false, false, 0.5, false},  // before its in point
        {true, false, false, 4, false},    // at its out point
        {true, false, false, 3.96, true},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.title.inPoint = 1;
        f.title.outPoint = 4;
        f.scene->SetSwitch(f.title, Switch::Enabled, c.enabled);
        f.scene->SetSwitch(f.title, Switch::Solo, c.solo);
        f.scene->SetSwitch(f.logo, Switch::Solo, c.otherSolo);
        f.scene->SetTime(f.comp, c.time);
        EXPECT_EQ(f.comp.IsActive(f.title), c.active)
            << c.enabled << c.solo << c.otherSolo << " at " << c.time;
    }
}

TEST(HostModel, TheActiveItemIsTheActiveViewersCompElseTheOneSelectedItem) {
    const struct {
        std::int32_t viewer;
        bool viewerActive;
        std::vector<std::int32_t> selected;
        std::int32_t active;
    } cases[] = {
        {2, true, {3, 4}, 2}, {2, false, {3}, 3}, {2, false, {3, 4}, 0},
        {0, true, {}, 0},     {5, true, {}, 5},   {0, false, {6}, 6},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.scene->viewerComp = c.viewer;
        f.scene->viewerActive = c.viewerActive;
        for (const auto& item : f.scene->Items()) item->selected = false;
        for (auto id : c.selected) f.scene->SetItemSelected(id, true);
        EXPECT_EQ(f.scene->ActiveItemId(), c.active) << c.viewer << c.viewerActive;
    }
    Fixture f;  // the user clicking an item gives the Project panel the focus
    f.scene->SelectOnly(4);
    EXPECT_EQ(f.scene->ActiveItemId(), 4);
}

TEST(HostModel, OnlyTheOutermostUndoGroupIsNotedAndAnOpenOneClosesAtTheEnd) {
    Fixture f;
    f.scene->BeginUndoGroup("Nudge");
    f.scene->BeginUndoGroup("inner");
    f.scene->EndUndoGroup();
    f.scene->SetTime(f.comp, 1);
    f.scene->EndUndoGroup();
    EXPECT_EQ(ErrorOf([&] { f.scene->EndUndoGroup(); }),
              R"(Unable to call "endUndoGroup" because no undo group is open.)");
    f.scene->BeginUndoGroup("Left open");
    f.scene->BeginUndoGroup("twice");
    f.scene->EndScript();
    f.scene->EndScript();  // nothing more to close
    std::vector<json> changes;
    for (auto& c : f.scene->TakeChanges()) changes.push_back(c.detail);
    EXPECT_EQ(json(changes), json::parse(R"([
      {"change": "undo group opened", "name": "Nudge"},
      {"change": "time", "comp": 2, "from": 0.0, "to": 1.0, "by": "script"},
      {"change": "undo group closed", "name": "Nudge"},
      {"change": "undo group opened", "name": "Left open"},
      {"change": "undo group closed", "name": "Left open"}])"));
    EXPECT_EQ(f.scene->UndoDepth(), 0);
}

TEST(HostModel, ReferencesGoInvalidAsTheHostDocuments) {
    Fixture f;
    PropertyGroup& parade = f.title.Effects();
    const auto blur = f.scene->AddEffect(parade, "ADBE Gaussian Blur 2").handle;
    const auto blurriness = static_cast<PropertyGroup&>(f.scene->Require(blur)).At(1)->handle;
    const auto tint = f.scene->AddEffect(parade, "Tint").handle;  // by its display name
    EXPECT_EQ(f.scene->Resolve(blur), nullptr) << "adding an effect invalidates the earlier ones";
    EXPECT_EQ(f.scene->Resolve(blurriness), nullptr);
    ASSERT_NE(f.scene->Resolve(tint), nullptr);
    const auto glow = f.scene->AddEffect(parade, "ADBE Glo2").handle;
    const auto& secondGlow = f.scene->AddEffect(parade, "ADBE Glo2");
    EXPECT_EQ(secondGlow.name, "Glow 2");
    const auto title = f.title.handle, opacity = f.opacity.handle;
    f.scene->RemoveEffect(static_cast<PropertyGroup&>(*parade.At(2)));  // the tint
    EXPECT_EQ(f.scene->Resolve(glow), nullptr) << "removing one invalidates its siblings";
    EXPECT_EQ(parade.Count(), 3);
    EXPECT_NE(f.scene->Resolve(title), nullptr) << "the layer's own references stay";
    EXPECT_NE(f.scene->Resolve(opacity), nullptr);
    f.scene->RemoveLayer(f.title);
    EXPECT_EQ(f.scene->Resolve(title), nullptr);
    EXPECT_EQ(ErrorOf([&] { f.scene->RequireProperty(opacity); }), "Object is invalid");
    EXPECT_EQ(f.comp.NumLayers(), 2);
}

TEST(HostModel, FrameStepsStayWithinTheCompAndTheCommandTableReads) {
    Fixture f;  // 25 fps, 10 s: the last frame starts at 9.96 s
    const struct {
        double from;
        int step;
        double to;
    } cases[] = {{0, 1, 0.04}, {0, -1, 0}, {9.96, 1, 9.96}, {5, -10, 4.6}, {10, 1, 9.96}};
    for (const auto& c : cases) {
        f.comp.time = c.from;
        f.scene->StepFrames(f.comp, c.step);
        EXPECT_NEAR(f.comp.time, c.to, 1e-9) << c.from << " " << c.step;
    }
    const auto table = CommandTable::FromJson(json::parse(
        R"([{"number": 7, "name": "Go", "action": "next-frame"}, {"number": 8, "name": "Other"}])"));
    EXPECT_EQ(table.Find(7)->action, CommandAction::NextFrame);
    EXPECT_EQ(table.FindByName("Other"), 8);
    EXPECT_EQ(table.FindByName("Nothing"), 0);
    for (const char* bad :
         {R"({})", R"([{"number": 1}])", R"([{"number": 1, "name": "a", "action": "fly"}])",
          R"([{"number": 1, "name": "a"}, {"number": 1, "name": "b"}])"})
        EXPECT_NE(ErrorOf([&] { CommandTable::FromJson(json::parse(bad)); }), "") << bad;
}

TEST(HostModel, NewItemsGetIdsNoOtherItemHasAfterTheLargest) {
    Fixture f;
    f.scene->AppendItem(2147483647, "Last", ItemType::Folder, 0);
    const std::int32_t a = f.scene->AddFolder("A"), b = f.scene->AddFolder("B");
    EXPECT_GT(a, 0);
    EXPECT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(f.scene->FindItem(a)->name, "A");
    EXPECT_EQ(f.scene->FindItem(b)->name, "B");
    EXPECT_EQ(f.scene->FindItem(2147483647)->name, "Last");
}

}  // namespace
