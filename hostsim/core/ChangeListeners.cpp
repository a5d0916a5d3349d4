#include "core/ChangeListeners.h"

#include <algorithm>

namespace hostsim {

void ChangeListeners::Replace(std::shared_ptr<const List> list) {
    unsigned wanted = 0;
    for (const auto& entry : *list) wanted |= entry.changes;
    listeners_ = std::move(list);
    wanted_.store(wanted, std::memory_order_relaxed);
}

std::uint64_t ChangeListeners::Subscribe(Listener listener, unsigned changes) {
    std::lock_guard lock(mutex_);
    auto list = std::make_shared<List>(*listeners_);
    list->push_back({nextId_, changes, std::move(listener)});
    Replace(std::move(list));
    return nextId_++;
}

void ChangeListeners::Unsubscribe(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    auto list = std::make_shared<List>(*listeners_);
    std::erase_if(*list, [id](const Entry& entry) { return entry.id == id; });
    Replace(std::move(list));
}

// Takes the current list so that no lock is held while a listener runs.
void ChangeListeners::Notify(Change change) const {
    const unsigned bit = ChangeBit(change);
    if ((wanted_.load(std::memory_order_relaxed) & bit) == 0) return;
    std::shared_ptr<const List> listeners;
    {
        std::lock_guard lock(mutex_);
        listeners = listeners_;
    }
    for (const auto& entry : *listeners)
        if ((entry.changes & bit) != 0) entry.listener(change);
}

}  // namespace hostsim
