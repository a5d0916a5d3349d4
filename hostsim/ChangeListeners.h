// Who wants to know when the host changes: a view (or a test) subscribes a function, and
// the host calls every subscriber after a change, on the thread that made it, with no
// host lock held. Subscribers must be quick and must not subscribe or unsubscribe from
// inside a call. Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace hostsim {

enum class Change {
    InfoPanel,  // the plug-in drew in the Info panel
    Selection,  // an item was selected or deselected (by the plug-in, a script or the user)
    Command,    // a command ran (its record is in the state)
    Script,     // a script ended
    Idle,       // the idle hooks were called
    Alert,      // the plug-in showed an alert
    Suites,     // a suite was acquired or released
};

class ChangeListeners {
public:
    using Listener = std::function<void(Change)>;
    std::uint64_t Subscribe(Listener listener);  // returns the id to unsubscribe with
    void Unsubscribe(std::uint64_t id);
    void Notify(Change change) const;

private:
    using List = std::vector<std::pair<std::uint64_t, Listener>>;
    mutable std::mutex mutex_;
    // Replaced whole on every (rare) subscribe or unsubscribe, so that a notification (on
    // the plug-in's path, several per command) only copies a pointer.
    std::shared_ptr<const List> listeners_ = std::make_shared<const List>();
    std::uint64_t nextId_ = 1;
};

}  // namespace hostsim
