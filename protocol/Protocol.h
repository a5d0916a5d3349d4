#pragma once
// The constants of the wire protocol and of the files around it, shared by the plug-in, the
// controller client, the simulated host and the benchmarks so that each value is written once,
// with the small functions that apply them. Standard C++ only: the plug-in depends on nothing
// else. Every function here is pure and may be called from any thread.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Cuebridge::Protocol {

// A message is one line: request tag, separator, keyword, separator, argument, line feed.
inline constexpr char kFieldSeparator = '|';
inline constexpr char kMessageEnd = '\n';

// Keywords: the second field of a message.
inline constexpr char kExecuteCommand[] = "ExecuteCommand";
inline constexpr char kInfoPanelCommand[] = "InfoPanelCommand";
inline constexpr char kNavigateCommand[] = "NavigateCommand";
inline constexpr char kScript[] = "Script";
inline constexpr char kGetLanguage[] = "GetAfterEffectLanguage";
inline constexpr char kGetInstalledEffects[] = "GetInstalledAfterEffectEffects";

// The arguments that the Info panel and Project panel commands accept.
inline constexpr char kSetInfoText[] = "SetInfoText";
inline constexpr char kSetInfoColor[] = "SetInfoColor";
inline constexpr char kSelectNext[] = "Next";
inline constexpr char kSelectFirst[] = "First";

// A failed script's result: this prefix, then the host's error text.
inline constexpr char kScriptErrorPrefix[] = "SCRIPT ERROR: ";

// The installed-effects list: records of match name, display name and category joined by the
// field separator, each ended by this mark.
inline constexpr char kEffectRecordEnd[] = "*|*";

// The host commands the plug-in acts on before the host handles them.
inline constexpr int kCommandSelectFirstItem = 2488;  // Project panel: the item after the first
inline constexpr int kCommandSelectNextItem = 2489;   // Project panel: select the next item
inline constexpr int kCommandInfoPanelDemo = 2490;    // Info panel: three lines and a colour
inline constexpr int kCommandTestScript = 2630;       // runs the controller folder's test script

// A message longer than this (its line feed not counted) is dropped whole.
inline constexpr std::size_t kMaxMessageBytes = std::size_t{64} << 20;

// The controller service's folder under HOME (with its trailing slash), and what lies in it:
// the port file's folder (of which the plug-in creates only the last component), the port file,
// the two marker files that switch tracing and logging on, and the log files' folder.
inline constexpr char kServiceFolder[] = "/Library/Application Support/Ostrel/OstrelPluginService/";
inline constexpr char kPortFileFolder[] = "PluginData/AfterEffects/";
inline constexpr char kPortFileName[] = "socket.port";
inline constexpr char kTraceMarker[] = "enabletraces";
inline constexpr char kLogMarker[] = "enablelogs";
inline constexpr char kLogsFolder[] = "Logs/";

// The controller service's folder under a home folder, with its trailing slash.
inline std::string ServiceFolder(std::string_view home) {
    return std::string(home) + kServiceFolder;
}

// The folder the port file lies in under a home folder, with its trailing slash.
inline std::string PortFileFolder(std::string_view home) {
    return ServiceFolder(home) + kPortFileFolder;
}

// The port file's path under a home folder.
inline std::string PortFilePath(std::string_view home) {
    return PortFileFolder(home) + kPortFileName;
}

// One message without its line feed: tag|keyword|argument.
inline std::string RequestLine(std::string_view tag, std::string_view keyword,
                               std::string_view argument = {}) {
    std::string line;
    line.reserve(tag.size() + keyword.size() + argument.size() + 2);
    line.append(tag).push_back(kFieldSeparator);
    line.append(keyword).push_back(kFieldSeparator);
    line.append(argument);
    return line;
}

// One request as it goes on the wire: the message and its line feed.
inline std::string FormatRequest(std::string_view tag, std::string_view keyword,
                                 std::string_view argument = {}) {
    return RequestLine(tag, keyword, argument) + kMessageEnd;
}

// A script result reporting the host's error text.
inline std::string ScriptError(std::string_view errorText) {
    return std::string(kScriptErrorPrefix).append(errorText);
}

// Whether a script result reports an error.
inline bool IsScriptError(std::string_view result) {
    return result.starts_with(kScriptErrorPrefix);
}

// The host's error text of a script error result (IsScriptError(result) must hold).
inline std::string_view ScriptErrorText(std::string_view result) {
    return result.substr(std::string_view(kScriptErrorPrefix).size());
}

// The records of an installed-effects list, each without its end mark; a last record whose
// end mark is missing is kept as it is.
inline std::vector<std::string_view> SplitEffects(std::string_view list) {
    constexpr std::string_view end = kEffectRecordEnd;
    std::vector<std::string_view> records;
    while (!list.empty()) {
        const std::size_t at = list.find(end);
        if (at == std::string_view::npos) {
            records.push_back(list);
            break;
        }
        records.push_back(list.substr(0, at));
        list.remove_prefix(at + end.size());
    }
    return records;
}

}  // namespace Cuebridge::Protocol
