// ThreadSafeQueue: a first-in, first-out queue of strings under one mutex; the only
// channel between the threads that receive work and the host's main thread.
// Nothing blocks: Pop returns the empty string when the queue is empty, so consumers
// drain by popping until they get "". Any thread may call any operation.
#pragma once

#include <deque>
#include <mutex>
#include <queue>
#include <string>

namespace Cuebridge {

class ThreadSafeQueue {
public:
    void Push(std::string item);  // any thread
    std::string Pop();            // any thread; "" when empty
    bool Empty();                 // any thread

private:
    std::mutex mutex_;
    std::queue<std::string, std::deque<std::string>> items_;
};

// The five queues that carry work to the host's main thread and results back. Built at
// load and never destroyed: the detached threads may use them while the host exits.
extern ThreadSafeQueue& commandQueue;           // menu command numbers as decimal text
extern ThreadSafeQueue& infoPanelCommandQueue;  // "SetInfoText" / "SetInfoColor"
extern ThreadSafeQueue& projectCommandQueue;    // "Next" / "First"
extern ThreadSafeQueue& scriptQueue;            // script texts
extern ThreadSafeQueue& scriptResultQueue;      // one result text per script run

}  // namespace Cuebridge
