// PortFile: the small file through which the controller service learns the plug-in's port
// (socket.port under HOME, see Protocol.h). It belongs to the plug-in that wrote it: the
// plug-in removes it only while it still names that plug-in's port (after a session, when
// the host process exits normally), so that two hosts under one home never remove each
// other's. WritePortFile is the writing itself.
// Threading: SetHome and WithdrawAtExit on the main thread before the socket thread starts;
// Publish, NamesAnother and Gone on the socket thread; Withdraw and Close on any thread.
// Publishing and withdrawing are serialised by the object's own lock, which is never held
// while tracing or while another lock is taken.
#pragma once

#include <mutex>
#include <string>

namespace Cuebridge {

// Publishes the port in the port file at that path: a new private file in the same folder
// renamed over it, so that nothing at that name (a link, another user's file) is written
// through, a reader never sees it half written, and the result is this user's file with mode
// 0600 holding the decimal port. False when it could not be written (traced; nothing is left
// behind). Any thread.
bool WritePortFile(const std::string& portFile, int port);

class PortFile {
public:
    PortFile() = default;
    PortFile(const PortFile&) = delete;
    PortFile& operator=(const PortFile&) = delete;

    // main thread, before the socket thread starts: the port file under this home; an empty
    // home means there is none (nothing is ever published).
    void SetHome(const std::string& home);
    bool Configured() const { return !path_.empty(); }

    // socket thread: creates the port file's folder when it is missing (its parent is not
    // made) and writes the port. False when it could not be written or the process is
    // exiting. A run of failures is traced at its first and at its end.
    bool Publish(int port);
    // socket thread: true when the file holds a port this plug-in did not write last, that is
    // another plug-in under the same home published after it.
    bool NamesAnother() const;
    // socket thread: true when there is no file at the path.
    bool Gone() const;

    // any thread: removes the file if it still names the port this plug-in published last,
    // and forgets that port.
    void Withdraw();
    // any thread, as the process exits: withdraws, and publishes nothing from then on.
    void Close();

    // main thread: has the file withdrawn when the process ends normally (a process-exit
    // handler of the plug-in's own, installed once). The object must live until then.
    void WithdrawAtExit();

private:
    enum class Withdrawal { Nothing, Removed, Kept, Gone, Failed };
    Withdrawal WithdrawLocked();  // with mutex_ held; traces nothing
    void Trace(Withdrawal withdrawal) const;

    std::string folder_;  // set before the socket thread starts, then read-only
    std::string path_;
    std::mutex mutex_;      // guards published_ and closed_, and orders writes and removals
    int published_ = 0;     // the port in the file this plug-in wrote last; 0: none
    int lastWritten_ = 0;   // the last port written, kept after a withdrawal
    bool closed_ = false;   // the process is exiting
    int failedWrites_ = 0;  // socket thread only: consecutive failed publications
};

}  // namespace Cuebridge
