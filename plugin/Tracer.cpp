#include "Tracer.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "Protocol.h"

namespace Cuebridge {

char szTraceBuffer[4096];

namespace {

// Relaxed atomics: written once at load, read on every TRACE from any thread.
std::atomic<bool> IsTracingEnabled{false};
std::atomic<bool> IsLogEnabled{false};

std::mutex traceMutex;    // guards szTraceBuffer and the printing/logging of one line
std::mutex logNameMutex;  // guards logFileName
// Never destroyed: the socket thread is detached and may trace while the process exits,
// after static destructors ran.
std::string& logFileName = *new std::string();

constexpr int kFormatLimit = 4093;  // at most 4092 characters plus NUL before CR LF

std::string FormatToString(int value) {
    return value <= 9 ? "0" + std::to_string(value) : std::to_string(value);
}

bool MarkerPresent(const char* name) {
    const std::string folder = ServiceFolder();
    if (folder.empty()) return false;
    std::ifstream marker(folder + name);
    const bool open = marker.is_open();
    marker.close();
    return open;
}

}  // namespace

void Tracer::SetTracing(bool on) { IsTracingEnabled.store(on, std::memory_order_relaxed); }
bool Tracer::GetTracing() { return IsTracingEnabled.load(std::memory_order_relaxed); }
void Tracer::SetLog(bool on) { IsLogEnabled.store(on, std::memory_order_relaxed); }
bool Tracer::GetLog() { return IsLogEnabled.load(std::memory_order_relaxed); }

std::string Tracer::FormatDateTime(std::time_t moment) {
    std::tm utc{};
    gmtime_r(&moment, &utc);
    std::string stamp;
    stamp += std::to_string(utc.tm_year + 1900);
    stamp += "-" + FormatToString(utc.tm_mon + 1);
    stamp += "-" + FormatToString(utc.tm_mday);
    stamp += "T" + FormatToString(utc.tm_hour);
    stamp += "-" + FormatToString(utc.tm_min);
    stamp += "-" + FormatToString(utc.tm_sec);
    return stamp;
}

std::string Tracer::GetCurrentDateTime() { return FormatDateTime(std::time(nullptr)); }

std::string Tracer::GetLogFileName() {
    std::lock_guard<std::mutex> lock(logNameMutex);
    if (logFileName.empty()) {
        const std::string folder = ServiceFolder();
        if (folder.empty()) return {};
        logFileName = folder + Protocol::kLogsFolder + "CPP-" + GetCurrentDateTime() + ".log";
    }
    return logFileName;
}

void Tracer::ResetLogFileNameForTesting() {
    std::lock_guard<std::mutex> lock(logNameMutex);
    logFileName.clear();
}

void Tracer::LogToFile(std::string message) { AppendToLog(GetLogFileName(), message); }

// any thread; takes no lock, so TRACE may call it under its own.
void Tracer::AppendToLog(const std::string& path, const std::string& message) {
    if (path.empty()) return;
    // Opened and closed per line so that every line reaches the OS before TRACE returns.
    // The Logs folder is never created: a missing folder just loses the line.
    std::ofstream file(path, std::ios::out | std::ios::app);
    if (!file.is_open()) return;
    const std::string line = GetCurrentDateTime() + " | " + message;
    file << line.c_str();
    file.close();
}

void Tracer::TRACE(const char* format, ...) {
    const bool logging = GetLog();
    if (!GetTracing() && !logging) return;

    // The log file's name is fixed before the trace lock is taken: no thread holds two locks.
    const std::string logPath = logging ? GetLogFileName() : std::string();
    std::lock_guard<std::mutex> lock(traceMutex);
    va_list args;
    va_start(args, format);
    vsnprintf(szTraceBuffer, kFormatLimit, format, args);
    va_end(args);
    strcat(szTraceBuffer, "\r\n");
    printf("%s", szTraceBuffer);
    // Written through at once: when standard output is a pipe or a file the C library
    // would hold the line back, and lose it if the host dies.
    fflush(stdout);
    if (logging) AppendToLog(logPath, szTraceBuffer);
}

std::string ServiceFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr) return {};
    return Protocol::ServiceFolder(home);
}

bool CheckEnableTrace() {
    Tracer::SetTracing(MarkerPresent(Protocol::kTraceMarker));
    return Tracer::GetTracing();
}

bool CheckEnableLogs() {
    Tracer::SetLog(MarkerPresent(Protocol::kLogMarker));
    return Tracer::GetLog();
}

}  // namespace Cuebridge
