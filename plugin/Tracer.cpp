#include "Tracer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string_view>

#include "Protocol.h"

namespace Cuebridge {

char szTraceBuffer[4096];

namespace {

// Relaxed atomics: written once at load, read on every TRACE from any thread.
std::atomic<bool> IsTracingEnabled{false};
std::atomic<bool> IsLogEnabled{false};

// Never destroyed: the socket thread is detached and may trace while the process exits,
// after static destructors ran (where the standard library destroys a mutex at exit, a
// trace would then lock a destroyed one and end the process).
std::mutex& traceMutex = *new std::mutex();    // guards szTraceBuffer and the printing/logging
                                               // of one line
std::mutex& logNameMutex = *new std::mutex();  // guards logFileName
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

// Opens the log file for appending, never through a link: an existing file only when it is
// a plain file of this user's with no other name, else a new file created for this user
// alone. -1 when neither can be had (the line is then lost).
int OpenLog(const std::string& path) {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = open(path.c_str(), kFlags);
        if (fd == -1 && errno == ENOENT) fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
        if (fd == -1 && errno == EEXIST) continue;  // another thread made it meanwhile
        if (fd == -1) return -1;
        struct stat info {};
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
            info.st_uid == geteuid())
            return fd;
        close(fd);
        return -1;
    }
    return -1;
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
    const int file = OpenLog(path);
    if (file == -1) return;
    const std::string line = GetCurrentDateTime() + " | " + message;
    std::string_view rest(line.c_str());  // up to a zero byte, as the text was always written
    while (!rest.empty()) {
        const ssize_t n = write(file, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    close(file);
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

std::string HomeFolder() {
    // Only an absolute HOME names a home; an empty or relative one counts as unset.
    const char* home = std::getenv("HOME");
    return home == nullptr || home[0] != '/' ? std::string() : std::string(home);
}

std::string ServiceFolder() {
    const std::string home = HomeFolder();
    return home.empty() ? home : Protocol::ServiceFolder(home);
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
