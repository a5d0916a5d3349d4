#include "ThreadSafeQueue.h"

#include <utility>

namespace Cuebridge {

// Constructed in this order at load, destroyed in reverse at unload.
ThreadSafeQueue commandQueue;
ThreadSafeQueue infoPanelCommandQueue;
ThreadSafeQueue projectCommandQueue;
ThreadSafeQueue scriptQueue;
ThreadSafeQueue scriptResultQueue;

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
