#include "Marlune.h"

#include <mutex>
#include <string_view>
#include <utility>

#include "MarlunePlugin.h"
#include "Protocol.h"

namespace Cuebridge {

namespace {

Marlune* _instance = nullptr;

// The installed-effects list: written by the start-up job, read by the socket thread,
// both under its own mutex. Never destroyed, since the socket thread may read it
// until the process ends.
struct InstalledEffects {
    std::mutex mutex;
    std::string _installedAEEffects;
};
InstalledEffects& Effects() {
    static InstalledEffects* const effects = new InstalledEffects();
    return *effects;
}

std::string Reply(const std::string& tag, std::string_view result) {
    std::string reply;
    reply.reserve(tag.size() + 1 + result.size());
    reply.append(tag).append(1, Protocol::kFieldSeparator).append(result);
    return reply;
}

}  // namespace

// main thread. A second entry call reuses the instance rather than leaking one.
void Marlune::CreateInstance() {
    if (_instance == nullptr) _instance = new Marlune();
    _instance->SetInstalledAEEffects({});
}

Marlune* Marlune::GetInstance() { return _instance; }

// socket thread
std::string Marlune::ProcessMarluneCommand(std::vector<std::string> fields) {
    if (fields.size() < 2) return {};
    MarlunePlugin* plugin = MarlunePlugin::GetInstance();
    const std::string& tag = fields[0];
    const std::string& keyword = fields[1];
    const bool hasArgument = fields.size() >= 3;

    // The three queued commands need their argument: without one nothing is queued.
    if (keyword == Protocol::kExecuteCommand) {
        if (hasArgument) plugin->ExecuteCommand(std::move(fields[2]));
        return {};
    }
    if (keyword == Protocol::kInfoPanelCommand) {
        if (hasArgument) plugin->ExecuteInfoPanelCommands(std::move(fields[2]));
        return {};
    }
    if (keyword == Protocol::kNavigateCommand) {
        if (hasArgument) plugin->ExecuteProjectCommands(std::move(fields[2]));
        return {};
    }
    if (keyword == Protocol::kScript) {
        // A missing or empty script is answered at once: an empty text on the script
        // queue would never run and the wait would never end.
        std::string result;
        std::string error;
        if (hasArgument && !fields[2].empty())
            plugin->ExecuteScript(std::move(fields[2]), result, error);
        return Reply(tag, result);
    }
    if (keyword == Protocol::kGetLanguage) return Reply(tag, plugin->GetAfterEffectsLanguage());
    if (keyword == Protocol::kGetInstalledEffects) return Reply(tag, GetInstalledAEEffects());
    return {};
}

// any thread
void Marlune::SetInstalledAEEffects(std::string effects) {
    InstalledEffects& stored = Effects();
    std::lock_guard<std::mutex> lock(stored.mutex);
    stored._installedAEEffects = std::move(effects);
}

// any thread
std::string Marlune::GetInstalledAEEffects() const {
    InstalledEffects& stored = Effects();
    std::lock_guard<std::mutex> lock(stored.mutex);
    return stored._installedAEEffects;
}

}  // namespace Cuebridge
