// Loading the plug-in the way the host does: dlopen the library (never closed, since its
// threads may outlive the host) and find its entry point. main thread, at start.
#pragma once

#include <string>

#include "AE_Host.h"

namespace hostsim {

class PluginLoader {
public:
    // The entry point, or null with the reason in problem.
    static AEGP_EntryPointFunc Load(const std::string& path, std::string& problem);
};

}  // namespace hostsim
