#include "ChangeListeners.h"

#include <algorithm>

namespace hostsim {

std::uint64_t ChangeListeners::Subscribe(Listener listener) {
    std::lock_guard lock(mutex_);
    auto list = std::make_shared<List>(*listeners_);
    list->emplace_back(nextId_, std::move(listener));
    listeners_ = std::move(list);
    return nextId_++;
}

void ChangeListeners::Unsubscribe(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    auto list = std::make_shared<List>(*listeners_);
    std::erase_if(*list, [id](const auto& entry) { return entry.first == id; });
    listeners_ = std::move(list);
}

// Takes the current list so that no lock is held while a listener runs.
void ChangeListeners::Notify(Change change) const {
    std::shared_ptr<const List> listeners;
    {
        std::lock_guard lock(mutex_);
        if (listeners_->empty()) return;
        listeners = listeners_;
    }
    for (const auto& [id, listener] : *listeners) listener(change);
}

}  // namespace hostsim
