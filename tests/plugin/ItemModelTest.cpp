// Items and footage through scripts on the built-in project (Footage folder 1 with footage 3
// and 4, Main Comp 2 with Title, Logo, Background, Lower Third 5, solid 6; a new item is 7),
// with a home holding a PNG, a JPEG, a three-file sequence and a movie: copies of
// compositions, layers of items, guides, proxies, import and replaced footage; what a refusal
// says and that it changes nothing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/Catalog.h"
#include "core/Host.h"

namespace {

namespace fs = std::filesystem;

const std::string kPrefix = "var P = app.project, C = P.item(2), N = P.itemByID(7); ";

std::string Unable(const std::string& attribute, const std::string& problem) {
    return "Error: Unable to set \"" + attribute + "\". " + problem + " (line 1)";
}
std::string Param(const std::string& method, int n, const std::string& problem) {
    return "Error: Unable to call \"" + method + "\" because of parameter " + std::to_string(n) +
           ". " + problem + " (line 1)";
}

// A home with a 640x360 PNG with alpha, a 320x240 JPEG, shot_0001..3.png and a movie.
struct Home {
    fs::path dir;
    Home() {
        char pattern[] = "/tmp/cuebridge-items-XXXXXX";
        dir = mkdtemp(pattern);
        setenv("HOME", dir.c_str(), 1);
        const std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x02\x80\0\0\x01\x68\x08\x06",
                              26);
        const std::string jpg("\xff\xd8\xff\xe0\0\x04xx\xff\xc0\0\x11\x08\0\xf0\x01\x40\x03", 19);
        std::ofstream(dir / "a.png", std::ios::binary) << png;
        std::ofstream(dir / "b.jpg", std::ios::binary) << jpg;
        std::ofstream(dir / "c.mov", std::ios::binary) << "moov";
        fs::create_directory(dir / "seq");
        for (const char* n : {"shot_0001.png", "shot_0002.png", "shot_0003.png"})
            std::ofstream(dir / "seq" / n, std::ios::binary) << png;
    }
    ~Home() { fs::remove_all(dir); }
};

struct Case {
    std::string script, error, check, expected;  // check: read afterwards in the same host
};

template <std::size_t N>
void RunAll(const Case (&cases)[N]) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        EXPECT_EQ(host.RunScript(kPrefix + c.script).error, c.error);
        const auto after = host.RunScript(kPrefix + c.check);
        EXPECT_EQ(after.error + after.result, c.expected);
    }
}

TEST(ItemModel, CopiesLayersOfItemsAndGuides) {
    const Case cases[] = {
        // The copy keeps layers, parents, keys, effects, markers and guides, as its own.
        {"C.layer(1).parent = C.layer(2); C.layer(2).effect.addProperty('Gaussian Blur');"
         "C.markerProperty.setValueAtTime(1, new MarkerValue('m')); C.addGuide(1, 50);"
         "var D = C.duplicate(); D.layer(3).remove(); D.layer('Logo').opacity.addKey(5)",
         "",
         "[N.name, N.parentFolder.name, N.layer(1).parent.containingComp.id,"
         " N.layer(2).effect.numProperties, N.markerProperty.numKeys, N.guides.length,"
         " N.layer('Logo').opacity.numKeys, C.layer('Logo').opacity.numKeys, C.numLayers]",
         "Main Comp 2,Root,7,1,1,1,3,2,3"},
        {"C.duplicate(); C.duplicate()", "", "P.itemByID(8).name", "Main Comp 3"},
        {"C.layers.add(P.item(5))", "",
         "[C.numLayers, C.layer(1).name, C.layer(1).source.id, C.layer(1).outPoint]",
         "4,Lower Third,5,5"},
        {"C.layers.add(P.item(6), 4); C.layers.add(P.item(3))", "",
         "[C.layer(2).outPoint, C.layer(1).width, C.layer(1).outPoint]", "4,1920,10"},
        {"P.item(5).layers.add(P.item(5))",
         Param("add", 1, "A composition cannot be added to itself."), "P.item(5).numLayers", "2"},
        {"C.layers.add(P.item(5)); P.item(5).layers.add(C)",
         Param("add", 1, "The composition contains this one."), "P.item(5).numLayers", "2"},
        {"C.layers.add(P.item(1))", Param("add", 1, "Value is not an AVItem."), "C.numLayers", "3"},
        {"C.addGuide(1, 500); C.addGuide(0, 20); C.setGuide(30, 1); C.removeGuide(0)", "",
         "[C.guides.length, C.guides[0].orientationType, C.guides[0].position]", "1,0,30"},
        {"C.addGuide(2, 5)", Param("addGuide", 1, "Value is not 0 (horizontal) or 1 (vertical)."),
         "C.guides.length", "0"},
        {"C.addGuide(0, 5); C.setGuide(9, 1)", Param("setGuide", 2, "Value 1 out of range 0 to 0."),
         "C.guides[0].position", "5"},
    };
    RunAll(cases);
}

TEST(ItemModel, ProxiesImportAndReplacedFootage) {
    const Home home;
    const Case cases[] = {
        {"P.item(3).setProxyWithSolid([1, 0, 0], 'Red', 100, 50, 1)", "",
         "var F = P.item(3); [F.useProxy, F.proxySource instanceof SolidSource,"
         " F.proxySource.color, F.width]",
         "true,true,1,0,0,1920"},
        {"C.setProxyWithPlaceholder('Ph', 640, 360, 25, 4); C.setProxyToNone()", "",
         "[C.useProxy, C.proxySource === null]", "false,true"},
        {"C.useProxy = true", Unable("useProxy", "The item has no proxy."), "C.useProxy", "false"},
        {"C.setProxyWithPlaceholder('Ph', 2, 360, 25, 4)",
         Param("setProxyWithPlaceholder", 2, "Value 2 out of range 4 to 30000."), "C.useProxy",
         "false"},
        {"C.setProxy(new File('~/a.png'))", "",
         "var S = C.proxySource; [C.useProxy, S instanceof FileSource, S.file.name, S.isStill,"
         " S.hasAlpha]",
         "true,true,a.png,true,true"},
        {"P.importFile(new ImportOptions(new File('~/a.png')))", "",
         "[N.name, N.width, N.height, N.footageMissing, N.mainSource.isStill, N.file.name]",
         "a.png,640,360,false,true,a.png"},
        {"P.importFile(new ImportOptions(new File('~/b.jpg')))", "",
         "[N.width, N.height, N.mainSource.hasAlpha]", "320,240,false"},
        {"var o = new ImportOptions(new File('~/seq/shot_0001.png')); o.sequence = true;"
         "P.importFile(o)",
         "", "[N.duration, N.frameRate, N.mainSource.isStill]", "0.1,30,false"},
        {"P.importFile(new ImportOptions(new File('~/c.mov')))",
         "Error: \"importFile\" of this file is not modelled by the simulated host: it reads PNG "
         "and JPEG stills only (line 1)",
         "P.numItems", "6"},
        {"P.importFile(new ImportOptions(new File('~/none.png')))",
         Param("importFile", 1,
               "File \"" + (home.dir / "none.png").string() + "\" cannot be read."),
         "P.numItems", "6"},
        {"P.importPlaceholder('Ph', 640, 360, 25, 4)", "",
         "[N instanceof PlaceholderItem, N.footageMissing, N.mainSource instanceof"
         " PlaceholderSource, N.duration, N.frameRate, N.file]",
         "true,true,true,4,25,"},
        {"", "",
         "var F = P.item(3); [F.footageMissing, F.mainSource.missingFootagePath === F.file.fsName,"
         " F.frameRate, F.duration]",
         "true,true,25,10"},
        {"P.item(3).replace(new File('~/a.png'))", "",
         "var F = P.item(3); [F.name, F.width, F.footageMissing, F.mainSource.isStill,"
         " F.mainSource.missingFootagePath]",
         "a.png,640,false,true,"},
        {"P.item(3).replaceWithSolid([0, 1, 0], 'Green', 200, 100, 1)", "",
         "var F = P.item(3); [F.name, F.mainSource.color, F.file, F.width]", "Green,0,1,0,,200"},
        {"P.item(3).replaceWithPlaceholder('P', 640, 360, 200, 4)",
         Param("replaceWithPlaceholder", 4, "Value 200 out of range 1 to 99."), "P.item(3).name",
         "Interview_A.mov"},
        {"P.item(3).width = 10", Unable("width", "The footage is not a solid."), "P.item(3).width",
         "1920"},
        {"P.item(3).time = 2; P.item(6).time = 1", Unable("time", "The footage is still."),
         "P.item(3).time", "2"},
    };
    RunAll(cases);
}

}  // namespace
