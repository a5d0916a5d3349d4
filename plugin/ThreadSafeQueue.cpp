#include "ThreadSafeQueue.h"

#include <atomic>
#include <utility>

namespace Cuebridge {

namespace {

// The arrival count shared by every queue. It is taken under the pushing queue's lock, so
// that the numbers in one queue grow from front to back however many threads push to it.
std::atomic<std::uint64_t> arrivals{0};

}  // namespace

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
    items_.push_back({arrivals.fetch_add(1), std::move(item)});
}

std::string ThreadSafeQueue::Pop() {
    std::string result;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!items_.empty()) {
        result = std::move(items_.front().text);
        items_.pop_front();
    }
    return result;
}

bool ThreadSafeQueue::Empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.empty();
}

std::optional<std::uint64_t> ThreadSafeQueue::OldestArrival() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (items_.empty()) return std::nullopt;
    return items_.front().arrival;
}

}  // namespace Cuebridge
