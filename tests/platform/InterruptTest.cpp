// serve's Stop button: a stop asked for the work of one thread is a request there and nowhere
// else, and only while its scope lives.
#include "platform/interrupt.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(ThreadStopTest, AsksOnlyTheThreadThatHoldsIt)
{
    std::atomic<bool> asked{false};
    {
        const interrupt::ThreadStop stop(asked);
        EXPECT_FALSE(interrupt::requested());
        asked = true;
        EXPECT_TRUE(interrupt::requested());
        EXPECT_FALSE(interrupt::insisted());  // a second request, which may cut waits short, it is not
        bool elsewhere = true;
        std::thread([&elsewhere] { elsewhere = interrupt::requested(); }).join();
        EXPECT_FALSE(elsewhere);
    }
    EXPECT_FALSE(interrupt::requested());
}

}  // namespace
