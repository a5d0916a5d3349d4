#include "ThreadSafeQueue.h"

#include <utility>

namespace Cuebridge {

// Constructed in this order at load and never destroyed: the socket thread and the
// script requesters are detached, so a static destructor at exit could free a queue
// under a thread that is still pushing to it.
ThreadSafeQueue& commandQueue = *new ThreadSafeQueue();
ThreadSafeQueue& infoPanelCommandQueue = *new ThreadSafeQueue();
ThreadSafeQueue& projectCommandQueue = *new ThreadSafeQueue();
ThreadSafeQueue& scriptQueue = *new ThreadSafeQueue();
ThreadSafeQueue& scriptResultQueue = *new ThreadSafeQueue();

void ThreadSafeQueue::Push(std::string item) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push(std::move(item));
}

std::string ThreadSafeQueue::Pop() {
    std::string result;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!items_.empty()) {
        result = std::move(items_.front());
        items_.pop();
    }
    return result;
}

bool ThreadSafeQueue::Empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.empty();
}

}  // namespace Cuebridge
