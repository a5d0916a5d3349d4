#include "ChangeListeners.h"

#include <algorithm>

namespace hostsim {

std::uint64_t ChangeListeners::Subscribe(Listener listener) {
    std::lock_guard lock(mutex_);
    listeners_.emplace_back(nextId_, std::move(listener));
    return nextId_++;
}

void ChangeListeners::Unsubscribe(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

// Copies the list so that no lock is held while a listener runs.
void ChangeListeners::Notify(Change change) const {
    std::vector<std::pair<std::uint64_t, Listener>> listeners;
    {
        std::lock_guard lock(mutex_);
        if (listeners_.empty()) return;
        listeners = listeners_;
    }
    for (const auto& [id, listener] : listeners) listener(change);
}

}  // namespace hostsim
