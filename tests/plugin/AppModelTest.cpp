// The application, the project's tool, metadata, layer ids and team projects, and the
// composition viewer's views and options, driven by scripts: each row's script in a fresh
// host, its result or the host's error, and what a second script reads afterwards (a refused
// call changes nothing).
#include <gtest/gtest.h>

#include <string>

#include "core/Catalog.h"
#include "core/Host.h"

namespace {

const std::string kOptions = "var V = app.activeViewer, O = V.views[0].options; ";

std::string Param(const std::string& method, int n, const std::string& problem) {
    return "Error: Unable to call \"" + method + "\" because of parameter " + std::to_string(n) +
           ". " + problem + " (line 1)";
}
std::string Set(const std::string& attribute, const std::string& problem) {
    return "Error: Unable to set \"" + attribute + "\". " + problem + " (line 1)";
}

TEST(AppModel, StoredValuesFollowTheGuidesRangesAndRefusalsChangeNothing) {
    const std::string read = kOptions +
                             "[O.zoom, O.exposure, O.channels, O.fastPreview, V.activeViewIndex, "
                             "V.maximized, app.project.toolType, app.project.numItems].join()";
    const std::string start = "1,0,7812,8012,0,false,9012,6";
    const struct {
        std::string script, result, error, after;
    } cases[] = {
        {kOptions + "O.zoom = 16; O.exposure = -40; O.channels = ChannelType.CHANNEL_ALPHA; "
                    "O.checkerboards = 1; O.fastPreview = FastPreviewType.FP_WIREFRAME; "
                    "V.maximized = true; app.project.toolType = ToolType.Tool_Pen; O.checkerboards",
         "true", "", "16,-40,7816,8016,0,true,9031,6"},
        {kOptions + "O.zoom = 16.5", "", Set("zoom", "Value 16.5 out of range 0.01 to 16."), start},
        {kOptions + "O.exposure = 40.5", "", Set("exposure", "Value 40.5 out of range -40 to 40."),
         start},
        {kOptions + "O.channels = 1", "",
         Set("channels", "Value 1 is not one of the allowed values."), start},
        {kOptions + "O.fastPreview = FastPreviewType.FP_DRAFT", "",
         "Error: Cannot set Draft fast preview mode in a Classic 3D composition. (line 1)", start},
        {kOptions + "V.activeViewIndex = 1", "",
         Set("activeViewIndex", "Value 1 out of range 0 to 0."), start},
        {"app.project.toolType = 9039", "",
         Set("toolType", "Value 9039 is not one of the allowed values."), start},
        {"app.purge(PurgeTarget.ALL_CACHES); app.purge(3)", "",
         Param("purge", 1, "Value 3 is not one of the allowed values."), start},
        {"app.setMemoryUsageLimits(50, 101)", "",
         Param("setMemoryUsageLimits", 2, "Value 101 out of range 0 to 100."), start},
        {"app.setMultiFrameRenderingConfig(true, 0)", "",
         Param("setMultiFrameRenderingConfig", 2, "Value 0 out of range 1 to 100."), start},
        {"app.setMultiFrameRenderingConfig('yes', 50)", "",
         Param("setMultiFrameRenderingConfig", 1, "Value is not a boolean."), start},
        {"app.beginSuppressDialogs(); app.endSuppressDialogs()", "",
         Param("endSuppressDialogs", 1, "Value is not a boolean."), start},
        // A closed viewer's views and options are gone with it.
        {kOptions + "app.project.item(2).remove(); O.zoom", "", "Error: Object is invalid (line 1)",
         ""},
        // Ids: unique, kept through moves, new for copies; found again by layerByID.
        {"var C = app.project.item(2), T = C.layer(1), id = T.id, D = T.duplicate(); "
         "T.moveToEnd(); [T.id === id, D.id !== id, C.layer(2).id !== app.project.item(5)."
         "layer(2).id, app.project.layerByID(D.id).index, app.project.layerByID(0)].join()",
         "true,true,true,1,", "", start},
        {"[app.project.isTeamProjectEnabled(), app.project.listTeamProjects().length, "
         "app.project.isTeamProjectOpen('Shared'), app.language === Language.ENGLISH, "
         "app.getenv('HOME') === $.getenv('HOME')].join()",
         "false,0,false,true,true", "", start},
        {"app.project.isTeamProjectOpen(3)", "",
         "Error: Unable to call \"isTeamProjectOpen\" because of parameter 1. Value is not a "
         "string. (line 1)",
         start},
        // The two interview clips and the solid are in no composition.
        {"app.project.removeUnusedFootage()", "3", "", "1,0,7812,8012,0,false,9012,3"},
        // What a kept item uses stays: a precomposition's layer source, a footage's folder.
        {"var P = app.project, C = P.item(2); C.layers.precompose([1], 'Pre', true); "
         "[P.reduceProject([C]), P.numItems, P.item(2).name].join()",
         "5,2,Pre", "", ""},
        {"var P = app.project; [P.reduceProject([P.item(3)]), P.item(1).numItems].join()", "4,1",
         "", ""},
        {"app.project.reduceProject([])", "", Param("reduceProject", 1, "The array holds no item."),
         start},
        {"app.project.reduceProject([app.project.item(2), 3])", "",
         Param("reduceProject", 1, "Value is not an array of items."), start},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        const auto outcome = host.RunScript(c.script);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.error, c.error);
        if (!c.after.empty()) {
            EXPECT_EQ(host.RunScript(read).result, c.after);
        }
    }
}

// Every write is journaled as the model's change; a refused one is not.
TEST(AppModel, WritesAreJournaledAndRefusalsAreNot) {
    hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    host.GetJournal().KeepInMemory();
    ASSERT_EQ(host.RunScript(kOptions + "O.rulers = true; V.views[0].setActive(); "
                                        "app.project.xmpPacket = '<x/>'; app.activate(); "
                                        "try { O.zoom = 0 } catch (e) {} app.project.xmpPacket")
                  .result,
              "<x/>");
    std::string changes;
    for (const auto& line : host.GetJournal().Lines())
        if (line["call"] == "HostModel") changes += line["args"].dump() + "\n";
    EXPECT_EQ(changes,
              "{\"attribute\":\"rulers\",\"change\":\"view option\",\"to\":true,\"view\":0}\n"
              "{\"attribute\":\"activeViewIndex\",\"change\":\"viewer\",\"comp\":2,\"to\":0}\n"
              "{\"attribute\":\"xmpPacket\",\"change\":\"app\",\"to\":\"<x/>\"}\n"
              "{\"args\":[],\"call\":\"activate\",\"change\":\"app call\"}\n");
}

}  // namespace
