// Who wants to know when the host changes: a view (or a test) subscribes a function for
// some kinds of change, and the host calls it after each such change, on the thread that
// made it, with no host lock held. A change no subscriber wants costs one atomic read. Subscribers
// must be quick and must not subscribe or unsubscribe from inside a call. Any thread.
#pragma once

#include <atomic>
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
    Model,      // a composition, layer, property or the viewer changed (journal: HostModel)
};

constexpr unsigned ChangeBit(Change change) { return 1u << static_cast<unsigned>(change); }
constexpr unsigned kAllChanges = ~0u;

class ChangeListeners {
public:
    using Listener = std::function<void(Change)>;
    // changes: the ChangeBit()s of the changes wanted. Returns the id to unsubscribe with.
    std::uint64_t Subscribe(Listener listener, unsigned changes = kAllChanges);
    void Unsubscribe(std::uint64_t id);
    void Notify(Change change) const;

private:
    struct Entry {
        std::uint64_t id;
        unsigned changes;
        Listener listener;
    };
    using List = std::vector<Entry>;
    void Replace(std::shared_ptr<const List> list);  // under the lock

    std::atomic<unsigned> wanted_{0};  // the changes any subscriber wants
    mutable std::mutex mutex_;
    // Replaced whole on every (rare) subscribe or unsubscribe, so that a notification (on
    // the plug-in's path, several per command) only copies a pointer.
    std::shared_ptr<const List> listeners_ = std::make_shared<const List>();
    std::uint64_t nextId_ = 1;
};

}  // namespace hostsim
