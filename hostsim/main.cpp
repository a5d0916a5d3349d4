// cuebridge-hostsim: loads a plug-in the way the host does and plays the host around it.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <variant>

#include "Catalog.h"
#include "Host.h"
#include "Options.h"

namespace {

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = hostsim::Host::OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A controller that hangs up must not kill the host through a send on its socket.
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    // One line at a time even into a pipe: a console answer never waits behind a trace.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    auto parsed = hostsim::ParseOptions(argc, argv);
    if (const int* code = std::get_if<int>(&parsed)) return *code;
    auto options = std::get<hostsim::Options>(std::move(parsed));

    std::vector<hostsim::Effect> effects;
    hostsim::ProjectSpec project;
    try {
        effects = options.effectsFile.empty() ? hostsim::BuiltInEffects()
                                              : hostsim::LoadEffectsFile(options.effectsFile);
        project = options.projectFile.empty() ? hostsim::BuiltInProject()
                                              : hostsim::LoadProjectFile(options.projectFile);
    } catch (const hostsim::ConfigError& e) {
        std::cerr << "cuebridge-hostsim: " << e.what() << "\n";
        return 2;
    }
    InstallSignalHandlers();
    // Never destroyed: the plug-in's threads may still call the host while the process ends.
    auto* host = new hostsim::Host(options, std::move(effects), project);
    if (!options.journalFile.empty() && !host->GetJournal().Open(options.journalFile)) {
        std::cerr << "cuebridge-hostsim: " << options.journalFile << ": cannot be written\n";
        return 2;
    }
    if (!options.stampCommandsFile.empty() && !host->OpenCommandStamps(options.stampCommandsFile)) {
        std::cerr << "cuebridge-hostsim: " << options.stampCommandsFile << ": cannot be written\n";
        return 2;
    }
    if (!host->LoadPlugin()) return 2;
    const int code = host->Run();
    std::cout.flush();
    return code;
}
