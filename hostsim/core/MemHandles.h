// The memory suite's handles: each holds a NUL-terminated text the host made (a script's
// result or error). A handle not handed out, or already freed, is refused and counted.
// Any thread (its own lock, nothing called under it).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "AE_Host.h"

namespace hostsim {

class MemHandles {
public:
    AEGP_MemHandle New(std::string text);
    A_Err Lock(AEGP_MemHandle handle, void** bytes);
    A_Err Unlock(AEGP_MemHandle handle);
    A_Err Free(AEGP_MemHandle handle);
    std::size_t Outstanding() const;
    std::int64_t BadCalls() const;  // calls with a handle not outstanding

private:
    mutable std::mutex mutex_;
    std::map<void*, std::unique_ptr<std::string>> blocks_;
    std::int64_t bad_ = 0;
};

}  // namespace hostsim
