// Tracer: the plug-in's only diagnostic channel. TRACE formats one printf-style
// line, prints it with CR LF on standard output and, when logging is on, appends it
// with a UTC stamp to a dated log file under the controller service's folder.
// Both switches are off until CheckEnableTrace/CheckEnableLogs read the marker files.
// Thread safety: every operation may be called from any thread; each TRACE line
// comes out whole (formatting and writing happen under one lock).
#pragma once

#include <ctime>
#include <string>

namespace Cuebridge {

// The most recent formatted trace line, NUL-terminated.
extern char szTraceBuffer[4096];

class Tracer {
public:
    static void SetTracing(bool on);  // any thread
    static bool GetTracing();         // any thread
    static void SetLog(bool on);      // any thread
    static bool GetLog();             // any thread

    // "YYYY-MM-DDTHH-MM-SS" in UTC for now / for the given moment.
    static std::string GetCurrentDateTime();
    static std::string FormatDateTime(std::time_t moment);

    // Full path of this process's log file; fixed by the first call. Empty when there is
    // no HOME (see ServiceFolder; nothing is then logged).
    static std::string GetLogFileName();  // any thread
    // Appends stamp + " | " + message to the log file, created 0600 and never opened
    // through a link; a failure loses the line silently.
    static void LogToFile(std::string message);  // any thread
    static void TRACE(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // Forgets the log file name so that the next logged line fixes a new one.
    static void ResetLogFileNameForTesting();

private:
    static void AppendToLog(const std::string& path, const std::string& message);
};

// HOME when it is an absolute path; empty when it is unset, empty or relative (such a
// HOME would put the plug-in's files under the system's folders or the working folder).
std::string HomeFolder();
// The controller service's folder under HOME, with a trailing slash; empty without a
// HomeFolder().
std::string ServiceFolder();

// Set the switches from the marker files "enabletraces" / "enablelogs" in the service
// folder: a marker that exists and can be opened for reading switches its feature on.
// Called once by the entry point; return the resulting switch.
bool CheckEnableTrace();
bool CheckEnableLogs();

}  // namespace Cuebridge
