// The built plug-in exports exactly what the linker's export map lists: the dynamic symbol
// table of Cuebridge.so, demangled, against the map's global names, both ways.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

// The names under "global:" (C names bare, C++ signatures quoted), up to "local:".
std::set<std::string> MapExports(const std::string& path) {
    std::ifstream map(path);
    std::set<std::string> names;
    bool global = false;
    for (std::string line; std::getline(map, line);) {
        line.erase(0, line.find_first_not_of(" \t"));
        if (line.starts_with("global:")) global = true;
        if (line.starts_with("local:")) global = false;
        if (!global || line.empty() || line.back() != ';' || line.starts_with("}")) continue;
        line.pop_back();
        if (line.front() == '"') line = line.substr(1, line.size() - 2);
        names.insert(line);
    }
    return names;
}

// Defined dynamic symbols of the library, demangled, version suffixes removed.
std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    const std::string command = "nm -D --defined-only '" + library + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::set<std::string> symbols;
    char line[4096];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (!(fields >> address >> kind >> name)) continue;
        name = name.substr(0, name.find('@'));
        int status = 0;
        std::unique_ptr<char, void (*)(void*)> text(
            abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), std::free);
        symbols.insert(status == 0 && text ? std::string(text.get()) : name);
    }
    return symbols;
}

TEST(PluginExports, ExactlyWhatTheExportMapLists) {
    const auto listed = MapExports(CUEBRIDGE_EXPORT_MAP);
    ASSERT_TRUE(listed.count("EntryPointFunc")) << "could not read " << CUEBRIDGE_EXPORT_MAP;
    EXPECT_EQ(DefinedDynamicSymbols(CUEBRIDGE_PLUGIN_PATH), listed);
}

}  // namespace
