// cuebridge-hostsim: loads a plug-in the way the host does and plays the host around it.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <variant>

#include "Protocol.h"
#include "console/Console.h"
#include "core/Catalog.h"
#include "core/Host.h"
#include "core/Options.h"
#include "view/ControllerLink.h"
#include "view/TraceTap.h"
#include "view/WebView.h"

namespace {

// A standard descriptor the host was started without is opened on /dev/null, so that no file
// the host opens later (the journal) takes its number and receives the host's own messages.
void KeepStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0) continue;
        // Those below fd are open by now, so /dev/null takes fd's own number.
        [[maybe_unused]] const int opened =
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = hostsim::Host::OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A controller that hangs up must not kill the host through a send on its socket.
    signal(SIGPIPE, SIG_IGN);
}

// The plug-in creates only the last folder of its port file's path; while a folder above it
// is missing it listens without publishing its port (it tries again, and publishes once the
// folder is there), and no controller can find it. Says so at start, naming the first
// missing folder.
void WarnOfAMissingPortFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home != '/') {  // the plug-in takes an empty or relative one as unset
        std::cerr << "cuebridge-hostsim: HOME is not set: the plug-in will not publish its port\n";
        return;
    }
    namespace Protocol = Cuebridge::Protocol;
    // The port file's folder, then the one above it: the last folder the plug-in cannot make.
    const std::filesystem::path needed =
        std::filesystem::path(Protocol::PortFileFolder(home)).parent_path().parent_path();
    std::filesystem::path folder;
    for (const auto& part : needed) {
        folder /= part;
        std::error_code error;
        if (!std::filesystem::is_directory(folder, error)) {
            std::cerr
                << "cuebridge-hostsim: " << folder.string()
                << " does not exist: the plug-in cannot publish its port until it does (create it: "
                   "mkdir -p \""
                << needed.string() << "\")\n";
            return;
        }
    }
}

// The plug-in's rule for its trace marker: an absolute HOME and a marker that can be read.
bool PluginWillTrace() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home != '/') return false;
    namespace Protocol = Cuebridge::Protocol;
    return std::ifstream(Protocol::ServiceFolder(home) + Protocol::kTraceMarker).is_open();
}

// --member-report: the object model's answer for every listed member, read on the project's
// live objects, without a plug-in. 0, or 1 when a member neither works nor says it is not
// modelled (each named on stderr), 2 when the file cannot be written.
int WriteMemberReport(const hostsim::Options& options, std::vector<hostsim::Effect> effects,
                      const hostsim::ProjectSetup& project) {
    hostsim::Host host(options, std::move(effects), project);
    const auto report = host.ReportMembers();
    for (const auto& fault : report.faults)
        std::cerr << "cuebridge-hostsim: neither modelled nor refused: " << fault << "\n";
    std::ofstream out(options.memberReportFile);
    if (!(out << report.json << "\n")) {
        std::cerr << "cuebridge-hostsim: " << options.memberReportFile << ": cannot be written\n";
        return 2;
    }
    return report.faults.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    KeepStandardDescriptors();
    // One line at a time even into a pipe: a console answer never waits behind a trace.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    auto parsed = hostsim::ParseOptions(argc, argv);
    if (const int* code = std::get_if<int>(&parsed)) return *code;
    auto options = std::get<hostsim::Options>(std::move(parsed));

    std::vector<hostsim::Effect> effects;
    hostsim::ProjectSetup project;
    auto commands = hostsim::model::CommandTable::BuiltIn();
    try {
        effects = options.effectsFile.empty() ? hostsim::BuiltInEffects()
                                              : hostsim::LoadEffectsFile(options.effectsFile);
        project = options.projectFile.empty()
                      ? hostsim::BuiltInProject()
                      : hostsim::LoadProjectFile(options.projectFile, effects);
        if (!options.commandsFile.empty())
            commands = hostsim::LoadCommandsFile(options.commandsFile);
    } catch (const hostsim::ConfigError& e) {
        std::cerr << "cuebridge-hostsim: " << e.what() << "\n";
        return 2;
    }
    if (!options.memberReportFile.empty()) return WriteMemberReport(options, effects, project);
    InstallSignalHandlers();
    hostsim::ShareTheTerminal();
    WarnOfAMissingPortFolder();
    // Never destroyed: the plug-in's threads may still call the host while the process ends.
    auto* host = new hostsim::Host(options, std::move(effects), project);
    host->SetCommands(std::move(commands));
    if (!options.journalFile.empty() && !host->GetJournal().Open(options.journalFile)) {
        std::cerr << "cuebridge-hostsim: " << options.journalFile << ": cannot be written\n";
        return 2;
    }
    if (!options.stampCommandsFile.empty() && !host->OpenCommandStamps(options.stampCommandsFile)) {
        std::cerr << "cuebridge-hostsim: " << options.stampCommandsFile << ": cannot be written\n";
        return 2;
    }
    // The live view starts before the plug-in loads, so that it shows the load too. When the
    // plug-in will trace (it reads its marker once, at load), the view shows its trace lines.
    // The tap is never destroyed, as the host that calls it; it is stopped on every way out,
    // after the view that reads it.
    hostsim::TraceTap* tap = nullptr;
    std::unique_ptr<hostsim::TraceTap, void (*)(hostsim::TraceTap*)> stopTap(
        nullptr, [](hostsim::TraceTap* t) { t->Stop(); });
    std::unique_ptr<hostsim::WebView> view;
    if (options.uiPort >= 0) {
        const char* home = std::getenv("HOME");
        if (PluginWillTrace()) {
            tap = new hostsim::TraceTap();
            if (tap->Start()) {
                host->SetBeforeStamp([tap] { tap->Drain(); });
                stopTap.reset(tap);
            } else {
                delete tap;
                tap = nullptr;
            }
        }
        view = std::make_unique<hostsim::WebView>(
            *host, hostsim::ControllerPortFile(home != nullptr ? home : ""), tap);
        std::string problem;
        const int port = view->Start(static_cast<int>(options.uiPort), problem);
        if (port < 0) {
            std::cerr << "cuebridge-hostsim: --ui: " << problem << "\n";
            return 2;
        }
        std::cerr << "cuebridge-hostsim: live view at http://127.0.0.1:" << port << "/"
                  << std::endl;
    }
    if (!host->LoadPlugin()) {
        host->ClosePosting();  // a page's action waiting for the main loop is answered 503
        return 2;
    }
    hostsim::Console console(*host);
    const int code = host->Run([&console](std::string_view bytes) { return console.Feed(bytes); });
    if (view) view->Stop();
    std::cout.flush();
    if (tap) tap->Stop();
    return code;
}
