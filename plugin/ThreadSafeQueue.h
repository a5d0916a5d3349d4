// ThreadSafeQueue: a first-in, first-out queue of strings under one mutex; the only
// channel between the threads that receive work and the host's main thread.
// Nothing blocks: Pop returns the empty string when the queue is empty, so consumers
// drain by popping until they get "". Every item is stamped with its arrival number,
// counted across all the queues, so that a consumer of several queues can take their
// items in the order they arrived. Any thread may call any operation.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace Cuebridge {

class ThreadSafeQueue {
public:
    void Push(std::string item);  // any thread
    std::string Pop();            // any thread; "" when empty
    bool Empty();                 // any thread
    // any thread: the arrival number of the item Pop would give next; none when empty.
    std::optional<std::uint64_t> OldestArrival();

private:
    struct Item {
        std::uint64_t arrival;
        std::string text;
    };
    std::mutex mutex_;
    std::deque<Item> items_;
};

// The five queues that carry work to the host's main thread and results back. Built at
// load and never destroyed: the detached threads may use them while the host exits. The
// idle executor takes the work of the first four in arrival order, whichever queue holds it.
extern ThreadSafeQueue& commandQueue;           // menu command numbers as decimal text
extern ThreadSafeQueue& infoPanelCommandQueue;  // "SetInfoText" / "SetInfoColor"
extern ThreadSafeQueue& projectCommandQueue;    // "Next" / "First"
extern ThreadSafeQueue& scriptQueue;            // script texts
extern ThreadSafeQueue& scriptResultQueue;      // one result text per script run

}  // namespace Cuebridge
