// A pseudo-terminal always reports its output queue empty, so the wait for a write's bytes to
// leave is shown here with a queue that empties slowly, or never.
#include "platform/output_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::SerialWriteResult;

class ScriptedQueue final : public platform::OutputQueue {
public:
    explicit ScriptedQueue(std::vector<int> unsent) : script(std::move(unsent)) {}

    int unsentBytes() override
    {
        const int unsent = script[std::min(reads, script.size() - 1)];
        ++reads;
        return unsent;
    }
    void discard() override { ++discards; }

    std::vector<int> script;  // what each look at the queue sees; the last stays
    size_t reads = 0;
    int discards = 0;
};

struct FinishCase {
    const char* what;
    std::vector<int> unsent;
    SerialWriteResult queued;
    SerialWriteResult expected;
    size_t leastReads;
    int discards;
};

constexpr int kShortLimitMs = 30;

TEST(OutputQueueTest, AWriteIsDoneOnlyOnceItsBytesHaveLeft)
{
    const FinishCase cases[] = {
        {"sent at once", {0}, SerialWriteResult::Completed, SerialWriteResult::Completed, 1, 0},
        {"leaving over a few looks", {4, 3, 1, 0}, SerialWriteResult::Completed, SerialWriteResult::Completed, 4, 0},
        {"never leaving is discarded", {4}, SerialWriteResult::Completed, SerialWriteResult::TimedOut, 2, 1},
        {"an unreadable queue is discarded", {-1}, SerialWriteResult::Completed, SerialWriteResult::Failed, 1, 1},
        {"queuing that timed out", {0}, SerialWriteResult::TimedOut, SerialWriteResult::TimedOut, 0, 1},
        {"queuing that failed", {0}, SerialWriteResult::Failed, SerialWriteResult::Failed, 0, 1},
    };
    for (const FinishCase& c : cases) {
        ScriptedQueue queue(c.unsent);
        EXPECT_EQ(platform::finishWrite(queue, c.queued, platform::Deadline(kShortLimitMs)), c.expected) << c.what;
        EXPECT_GE(queue.reads, c.leastReads) << c.what;
        EXPECT_EQ(queue.discards, c.discards) << c.what;
    }
}

}  // namespace
