#include "core/PluginLoader.h"

#include <dlfcn.h>

namespace hostsim {

AEGP_EntryPointFunc PluginLoader::Load(const std::string& path, std::string& problem) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        problem = "cannot load plug-in " + path + ": " + dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<AEGP_EntryPointFunc>(dlsym(library, "EntryPointFunc"));
    if (entry == nullptr) problem = "plug-in " + path + " has no EntryPointFunc";
    return entry;
}

}  // namespace hostsim
