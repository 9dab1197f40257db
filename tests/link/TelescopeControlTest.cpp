#include "link/TelescopeControl.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "link/StatusCode.h"
#include "platform/sleep.h"
#include "support/StatusRecorder.h"

namespace {

constexpr int kGenerousMs = 5000;

int code(StatusCode status) { return static_cast<int>(status); }

TEST(TelescopeControl, RequestsWithoutAPortAreAnsweredOnTheFrameReader)
{
    StatusRecorder statuses;
    TelescopeControl link(&statuses);
    link.onHeartBeat();
    link.disconnect();
    link.sendCorrection(0, 10);
    link.connect(256);  // COM0 exists nowhere
    ASSERT_TRUE(statuses.waitForCount(3, kGenerousMs));
    EXPECT_EQ(statuses.codes(), (std::vector<int>{code(StatusCode::NotConnected), code(StatusCode::NotConnected),
                                                  code(StatusCode::CannotOpenPort)}));
}

TEST(TelescopeControl, FramesFromManyThreadsNeverInterleave)
{
    StatusRecorder statuses;
    TelescopeControl link(&statuses);
    constexpr int kThreads = 4;
    constexpr int kEach = 150;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&link, t] {
            for (int i = 0; i < kEach; ++i) {
                // Ticks are ignored without a port; the others each report one status.
                link.onHeartBeat();
                if (t % 2 == 0) {
                    link.disconnect();
                } else {
                    link.sendCorrection(i, i);
                }
            }
        });
    }
    for (auto& writer : writers) writer.join();
    ASSERT_TRUE(statuses.waitForCount(kThreads * kEach, 20000));
    for (int status : statuses.codes()) EXPECT_EQ(status, code(StatusCode::NotConnected));
    platform::sleepMs(300);
    EXPECT_EQ(statuses.codes().size(), static_cast<size_t>(kThreads * kEach));
}

TEST(TelescopeControl, NothingIsReportedAfterShutDown)
{
    StatusRecorder statuses;
    TelescopeControl link(&statuses);
    link.shutDown();
    link.disconnect();
    link.shutDown();
    platform::sleepMs(300);
    EXPECT_TRUE(statuses.codes().empty());
}

}  // namespace
