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

TEST(ThreadSafeQueue, PopsInPushOrderThenEmpty) {
    ThreadSafeQueue queue;
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Pop(), "");
    for (const char* item : {"a", "b", "c"}) queue.Push(item);
    EXPECT_FALSE(queue.Empty());
    EXPECT_EQ(queue.Pop(), "a");
    EXPECT_EQ(queue.Pop(), "b");
    EXPECT_EQ(queue.Pop(), "c");
    EXPECT_EQ(queue.Pop(), "");
    EXPECT_TRUE(queue.Empty());
}

TEST(ThreadSafeQueue, EmptyItemStopsADrainAndLeavesTheRest) {
    ThreadSafeQueue queue;
    queue.Push("1");
    queue.Push("");
    queue.Push("x");
    EXPECT_EQ(Drain(queue), std::vector<std::string>{"1"});
    EXPECT_FALSE(queue.Empty());
    EXPECT_EQ(Drain(queue), std::vector<std::string>{"x"});
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

TEST(ThreadSafeQueue, GlobalQueuesAreDistinct) {
    using namespace Cuebridge;
    ThreadSafeQueue* queues[] = {&commandQueue, &infoPanelCommandQueue, &projectCommandQueue,
                                 &scriptQueue, &scriptResultQueue};
    for (size_t i = 0; i < std::size(queues); ++i) queues[i]->Push(std::to_string(i));
    for (size_t i = 0; i < std::size(queues); ++i) {
        EXPECT_EQ(queues[i]->Pop(), std::to_string(i));
        EXPECT_TRUE(queues[i]->Empty());
    }
}

}  // namespace
