#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/LString.h"

// Copies of one string taken and dropped on several threads at once: the count
// must come back to exactly one holder, and the text must survive.
TEST(RefCountThreads, ConcurrentCopiesBalance) {
    LString shared("device 305");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared] {
            for (int i = 0; i < 20000; ++i) {
                LString copy = shared;
                LString other;
                other = copy;
                ASSERT_EQ(other.Length(), 10u);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(shared.Rep()->RefCount(), 1);
    EXPECT_STREQ(shared.CStr(), "device 305");
}
