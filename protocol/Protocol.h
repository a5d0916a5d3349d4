#pragma once
// The constants of the wire protocol and of the files around it, shared by the plug-in, the
// controller client and their tests so that each value is written once. Standard C++ only: the
// plug-in depends on nothing else.

#include <cstddef>

namespace Cuebridge::Protocol {

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

}  // namespace Cuebridge::Protocol
