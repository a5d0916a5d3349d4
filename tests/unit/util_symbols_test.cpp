// The built plug-in exports exactly its entry point and the utility functions: read the
// dynamic symbol table of Cuebridge.so and compare it with the list both ways.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::set<std::string> kExports = {
    "EntryPointFunc",
    "AEFX_AppendText",
    "AEFX_ParseCell",
    "AEFX_ParseFpLong",
    "AEFX_MatchCell",
    "AEFX_AcquireSuite",
    "AEFX_ReleaseSuite",
    "AEFX_AcquireDrawbotSuites",
    "AEFX_ReleaseDrawbotSuites",
    "GetStringPtr",
    "IsEmptyRect(PF_LRect const*)",
    "UnionLRect(PF_LRect const*, PF_LRect*)",
    "IsEdgePixel(PF_LRect*, int, int)",
    "GetNewFirstLayerInFirstComp(SPBasicSuite*, _AEGP_Layer***)",
};

// C names stay as they are; C++ names become their signatures.
std::string Demangled(const std::string& symbol) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(
        abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status), std::free);
    return status == 0 && text ? std::string(text.get()) : symbol;
}

// Defined dynamic symbols of the library, demangled, version suffixes removed.
std::set<std::string> DefinedDynamicSymbols(const std::string& library, bool* ok) {
    const std::string command = "nm -D --defined-only '" + library + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::set<std::string> symbols;
    *ok = pipe != nullptr;
    if (!*ok) return symbols;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (!(fields >> address >> kind >> name)) continue;
        name = name.substr(0, name.find('@'));
        symbols.insert(Demangled(name));
    }
    *ok = pclose(pipe.release()) == 0;
    return symbols;
}

std::string Listed(const std::set<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += "\n  " + name;
    return text;
}

TEST(PluginExports, ExactlyTheIntendedSymbols) {
    bool ok = false;
    const std::set<std::string> exported = DefinedDynamicSymbols(CUEBRIDGE_PLUGIN_PATH, &ok);
    ASSERT_TRUE(ok) << "could not read the symbols of " << CUEBRIDGE_PLUGIN_PATH;
    std::set<std::string> missing, extra;
    for (const auto& name : kExports) {
        if (!exported.count(name)) missing.insert(name);
    }
    for (const auto& name : exported) {
        if (!kExports.count(name)) extra.insert(name);
    }
    EXPECT_TRUE(missing.empty()) << "not exported:" << Listed(missing);
    EXPECT_TRUE(extra.empty()) << "exported but not intended:" << Listed(extra);
}

}  // namespace
