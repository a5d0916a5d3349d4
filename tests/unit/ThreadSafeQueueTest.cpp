#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ThreadSafeQueue.h"

using Cuebridge::ThreadSafeQueue;

namespace {

std::vector<std::string> Drain(ThreadSafeQueue& queue) {
    std::vector<std::string> items;
    for (std::string item = queue.Pop(); !item.empty(); item = queue.Pop()) items.push_back(item);
    return items;
}

// Pop gives "" when empty, so an empty item stops a drain and leaves the rest queued.
TEST(ThreadSafeQueue, PopsInOrderAndAnEmptyItemStopsADrain) {
    ThreadSafeQueue queue;
    EXPECT_EQ(queue.Pop(), "");
    for (const char* item : {"1", "2", "", "x"}) queue.Push(item);
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"1", "2"}));
    EXPECT_FALSE(queue.Empty());
    EXPECT_EQ(Drain(queue), std::vector<std::string>{"x"});
    EXPECT_TRUE(queue.Empty());
}

TEST(ThreadSafeQueue, ProducerAndConsumerNeitherLoseNorDuplicate) {
    ThreadSafeQueue queue;
    constexpr int kItems = 50000;
    std::thread producer([&] {
        for (int i = 0; i < kItems; ++i) queue.Push(std::to_string(i));
    });
    std::vector<int> received;
    received.reserve(kItems);
    while (static_cast<int>(received.size()) < kItems) {
        const std::string item = queue.Pop();
        if (item.empty()) {
            std::this_thread::yield();
            continue;
        }
        received.push_back(std::stoi(item));
    }
    producer.join();
    for (int i = 0; i < kItems; ++i) ASSERT_EQ(received[i], i);
    EXPECT_TRUE(queue.Empty());
}

}  // namespace
