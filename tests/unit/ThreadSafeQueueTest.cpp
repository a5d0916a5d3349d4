#include <gtest/gtest.h>

#include <string>
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

}  // namespace
