#include "PortFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "Protocol.h"
#include "Tracer.h"

namespace Cuebridge {

namespace {

// Opens a new file of this user's alone (mode 0600) named `prefix` and six letters, never
// through a link and never an existing file; -1 when none can be made. `path` gets its name.
int CreatePrivateFile(const std::string& prefix, std::string& path) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<unsigned> drawn{0};
    std::uint64_t seed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(getpid()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005u + 1442695040888963407u + drawn.fetch_add(1);
        path = prefix;
        for (int i = 0; i < 6; ++i) path += kLetters[(seed >> (8 + 5 * i)) % 36];
        const int fd =
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Writes the whole text; false at the first error other than an interruption (a full disk
// fails for good, it is not retried).
bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

enum class Written { Yes, OpenFailed, WriteFailed };

// WritePortFile without its traces, so that it can run under a lock. The new file is
// complete before it takes the port file's name.
Written WriteQuietly(const std::string& portFile, int port) {
    std::string temporary;
    const int file = CreatePrivateFile(portFile + ".", temporary);
    if (file == -1) return Written::OpenFailed;
    // 0600 whatever the umask took away.
    bool written = fchmod(file, 0600) == 0 && WriteAll(file, std::to_string(port));
    written = close(file) == 0 && written;
    if (written && rename(temporary.c_str(), portFile.c_str()) == 0) return Written::Yes;
    unlink(temporary.c_str());
    return Written::WriteFailed;
}

void TraceWrite(Written written, const std::string& portFile) {
    if (written == Written::OpenFailed) Tracer::TRACE("File open failed: %s", portFile.c_str());
    if (written == Written::WriteFailed) Tracer::TRACE("File write failed: %s", portFile.c_str());
}

// The port the file names: its decimal digits alone, as the plug-in writes them; 0 for
// anything else (a missing or unreadable file, another content). Never blocks on a FIFO.
int ReadPort(const std::string& portFile) {
    const int fd = open(portFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) return 0;
    char text[8] = {};
    struct stat info {};
    const ssize_t n =
        fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? read(fd, text, sizeof text - 1) : -1;
    close(fd);
    if (n <= 0 || n > 5 || text[0] == '0') return 0;
    int port = 0;
    for (ssize_t i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        port = port * 10 + (text[i] - '0');
    }
    return port <= 65535 ? port : 0;
}

bool DirExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The port files to withdraw at exit. Never destroyed: the exit handler may run after the
// library's static destructors.
struct ExitList {
    std::mutex mutex;  // guards files
    std::vector<PortFile*> files;
};
ExitList& Exiting() {
    static ExitList* const list = new ExitList();
    return *list;
}

// The process-exit handler: each file is closed in turn, the list's lock released first.
void WithdrawPortFilesAtExit() {
    std::vector<PortFile*> files;
    {
        std::lock_guard<std::mutex> lock(Exiting().mutex);
        files = Exiting().files;
    }
    for (PortFile* file : files) file->Close();
}

}  // namespace

// any thread
bool WritePortFile(const std::string& portFile, int port) {
    const Written written = WriteQuietly(portFile, port);
    TraceWrite(written, portFile);
    return written == Written::Yes;
}

// main thread, before the socket thread starts
void PortFile::SetHome(const std::string& home) {
    folder_ = home.empty() ? home : Protocol::PortFileFolder(home);
    path_ = home.empty() ? home : Protocol::PortFilePath(home);
}

// socket thread
bool PortFile::Publish(int port) {
    if (path_.empty()) return false;
    bool folderMissing = false;
    bool folderMade = false;
    bool closed = false;
    Written written = Written::OpenFailed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed = closed_;
        if (!closed) {
            folderMissing = !DirExists(folder_);
            if (folderMissing) folderMade = mkdir(folder_.c_str(), 0700) == 0;
            written = WriteQuietly(path_, port);
            if (written == Written::Yes) published_ = lastWritten_ = port;
        }
    }
    if (closed) return false;
    if (written == Written::Yes) {
        if (failedWrites_ > 0)
            Tracer::TRACE("Port file written after %d failed attempts", failedWrites_);
        failedWrites_ = 0;
        return true;
    }
    if (failedWrites_++ == 0) {  // the first of a run; the retries stay quiet
        if (folderMissing) Tracer::TRACE("Folder wasn't found.");
        if (folderMade) Tracer::TRACE("Folder was created successfully");
        TraceWrite(written, path_);
    }
    return false;
}

// socket thread
bool PortFile::NamesAnother() const {
    if (path_.empty()) return false;
    const int port = ReadPort(path_);
    return port != 0 && port != lastWritten_;
}

// socket thread
bool PortFile::Gone() const {
    struct stat info {};
    return !path_.empty() && lstat(path_.c_str(), &info) == -1 && errno == ENOENT;
}

PortFile::Withdrawal PortFile::WithdrawLocked() {
    if (published_ == 0) return Withdrawal::Nothing;
    const int port = published_;
    published_ = 0;
    const int named = ReadPort(path_);
    if (named != port) return named == 0 && Gone() ? Withdrawal::Gone : Withdrawal::Kept;
    // A file another plug-in renames over this one in the instant between the check and
    // the removal would still go; the window is a few system calls wide.
    return unlink(path_.c_str()) == 0 ? Withdrawal::Removed : Withdrawal::Failed;
}

void PortFile::Trace(Withdrawal withdrawal) const {
    if (withdrawal == Withdrawal::Kept)
        Tracer::TRACE("Port file names another plug-in's port: kept");
    if (withdrawal == Withdrawal::Failed) Tracer::TRACE("File delete failed: %s", path_.c_str());
}

// any thread
void PortFile::Withdraw() {
    Withdrawal withdrawal;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        withdrawal = WithdrawLocked();
    }
    Trace(withdrawal);
}

// any thread (the exit handler)
void PortFile::Close() {
    Withdrawal withdrawal;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        withdrawal = WithdrawLocked();
    }
    Trace(withdrawal);
}

// main thread
void PortFile::WithdrawAtExit() {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(Exiting().mutex);
        first = Exiting().files.empty();
        Exiting().files.push_back(this);
    }
    if (first && std::atexit(WithdrawPortFilesAtExit) != 0)
        Tracer::TRACE("atexit() failed: the port file stays after the host exits");
}

}  // namespace Cuebridge
