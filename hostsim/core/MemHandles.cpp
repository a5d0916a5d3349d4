#include "core/MemHandles.h"

namespace hostsim {

AEGP_MemHandle MemHandles::New(std::string text) {
    auto block = std::make_unique<std::string>(std::move(text));
    void* key = block.get();
    std::lock_guard lock(mutex_);
    blocks_.emplace(key, std::move(block));
    return reinterpret_cast<AEGP_MemHandle>(key);
}

A_Err MemHandles::Lock(AEGP_MemHandle handle, void** bytes) {
    std::lock_guard lock(mutex_);
    const auto it = blocks_.find(reinterpret_cast<void*>(handle));
    if (it == blocks_.end() || bytes == nullptr) {
        ++bad_;
        return A_Err_PARAMETER;
    }
    *bytes = it->second->data();  // NUL-terminated by std::string
    return A_Err_NONE;
}

A_Err MemHandles::Unlock(AEGP_MemHandle handle) {
    std::lock_guard lock(mutex_);
    if (blocks_.count(reinterpret_cast<void*>(handle)) == 0) {
        ++bad_;
        return A_Err_PARAMETER;
    }
    return A_Err_NONE;
}

A_Err MemHandles::Free(AEGP_MemHandle handle) {
    std::lock_guard lock(mutex_);
    if (blocks_.erase(reinterpret_cast<void*>(handle)) == 0) {
        ++bad_;
        return A_Err_PARAMETER;
    }
    return A_Err_NONE;
}

std::size_t MemHandles::Outstanding() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
}

std::int64_t MemHandles::BadCalls() const {
    std::lock_guard lock(mutex_);
    return bad_;
}

}  // namespace hostsim
