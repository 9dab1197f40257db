// The serial port on a real line (tests/line/with-serial-pair.sh): COM5 is the port under test,
// COM6 the far end that sees what crossed the line.
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/event.h"
#include "platform/sleep.h"
#include "support/CaseName.h"
#include "support/ReceiveWithin.h"
#include "support/SerialLinePair.h"

namespace {

using platform::SerialPort;
using platform::SerialReadOutcome;
using platform::SerialWriteResult;

constexpr int kGenerousMs = 5000;
constexpr int kWriteLimitMs = 1000;

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!pair.present()) GTEST_SKIP() << "needs the serial line of tests/line/with-serial-pair.sh";
    }

    static std::unique_ptr<SerialPort> openPort() { return SerialPort::open(SerialLinePair::kLinkPort); }

    bool write(SerialPort& port, const std::string& text)
    {
        return port.write(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()),
                          writeDone, kWriteLimitMs) == SerialWriteResult::Completed;
    }

    SerialLinePair pair;
    platform::Event writeDone{platform::EventReset::Manual};
};

// How the port is let go right after a write, as the link does when it disconnects.
struct Closing {
    const char* what;
    void (*letGo)(std::unique_ptr<SerialPort>& port);
};

void PrintTo(const Closing& c, std::ostream* out) { *out << c.what; }

class WrittenThenClosed : public SerialPortTest, public ::testing::WithParamInterface<Closing> {};

const Closing kClosings[] = {
    {"destroyed", [](std::unique_ptr<SerialPort>& port) { port.reset(); }},
    {"closed", [](std::unique_ptr<SerialPort>& port) { port->close(); }},
    {"purged and closed", [](std::unique_ptr<SerialPort>& port) {
         port->purge();
         port->close();
     }},
};

// A stop command must not be lost because the port closed before it crossed the line. Losing it
// is a race, so several rounds give it its chances.
TEST_P(WrittenThenClosed, TheFarEndStillGetsWhatWasWritten)
{
    const std::unique_ptr<SerialPort> farEnd = SerialPort::open(SerialLinePair::kMountPort);
    ASSERT_TRUE(farEnd);
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        const std::string command = ":Q" + std::to_string(round) + "#";
        std::unique_ptr<SerialPort> port = openPort();
        ASSERT_TRUE(port) << "round " << round;
        ASSERT_TRUE(write(*port, command)) << "round " << round;
        GetParam().letGo(port);
        EXPECT_EQ(receiveWithin(*farEnd, command.size(), kGenerousMs).bytes, command) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Port, WrittenThenClosed, ::testing::ValuesIn(kClosings), CaseName());

TEST_F(SerialPortTest, AClosedPortCanBeOpenedAgainWhileItsObjectLives)
{
    const std::unique_ptr<SerialPort> first = openPort();
    ASSERT_TRUE(first);
#ifndef _WIN32
    // Wine lets a COM port be opened twice; elsewhere a port is its opener's alone.
    EXPECT_FALSE(openPort()) << "a port in use was opened twice";
#endif

    first->close();
    const std::unique_ptr<SerialPort> second = openPort();
    ASSERT_TRUE(second) << "the closed port still holds the device";
    EXPECT_FALSE(write(*first, ":Q#")) << "a write went through a closed port";

    // A second close leaves the device, now someone else's, alone.
    first->close();
    const std::unique_ptr<SerialPort> farEnd = SerialPort::open(SerialLinePair::kMountPort);
    ASSERT_TRUE(farEnd);
    ASSERT_TRUE(write(*second, ":GR#"));
    EXPECT_EQ(receiveWithin(*farEnd, 4, kGenerousMs).bytes, ":GR#");
}

// A read that nothing stops but the line itself: ended says when it has returned.
class UnstoppedRead {
public:
    explicit UnstoppedRead(SerialPort& port)
        : reader_([this, &port] {
              unsigned char buffer[16];
              result_ = port.read(buffer, sizeof buffer, rescue_);
              ended_ = true;
          })
    {
    }

    ~UnstoppedRead()
    {
        if (!reader_.joinable()) return;
        rescue_.set();
        reader_.join();
    }

    // Stops the read at the latest after timeoutMs; true if it had ended by itself before that.
    bool endsWithin(int timeoutMs)
    {
        const auto start = std::chrono::steady_clock::now();
        while (!ended_ && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(timeoutMs)) {
            platform::sleepMs(10);
        }
        const bool byItself = ended_;
        rescue_.set();
        reader_.join();
        return byItself;
    }

    bool ended() const { return ended_; }
    SerialReadOutcome outcome() const { return result_.outcome; }

private:
    platform::Event rescue_{platform::EventReset::Manual};
    std::atomic<bool> ended_{false};
    platform::SerialReadResult result_{SerialReadOutcome::Data, -1};
    std::thread reader_;
};

TEST_F(SerialPortTest, AReadOnALineThatVanishesEndsWithTheLineGone)
{
    const std::unique_ptr<SerialPort> port = openPort();
    ASSERT_TRUE(port);
    UnstoppedRead read(*port);
    platform::sleepMs(100);
    const bool cut = pair.cut(kGenerousMs);
    EXPECT_TRUE(cut);
    EXPECT_TRUE(read.endsWithin(kGenerousMs)) << "the read went on after the line had gone";
    EXPECT_EQ(read.outcome(), SerialReadOutcome::LineGone);
}

// Under a steady stream both ways a port can complete reads with nothing in them; the line is
// still there, and reading must go on.
TEST_F(SerialPortTest, ABusyLineIsNeverTakenForGone)
{
    const std::unique_ptr<SerialPort> port = openPort();
    const std::unique_ptr<SerialPort> farEnd = SerialPort::open(SerialLinePair::kMountPort);
    ASSERT_TRUE(port && farEnd);
    platform::Event stop(platform::EventReset::Manual);
    std::atomic<bool> gone{false};
    std::atomic<long> echoed{0};
    std::thread reader([&] {
        unsigned char buffer[64];
        while (stop.wait(0) != platform::WaitResult::Signalled) {
            const platform::SerialReadResult result = port->read(buffer, sizeof buffer, stop);
            if (result.outcome == SerialReadOutcome::LineGone) gone = true;
            if (result.outcome != SerialReadOutcome::Data) return;
            echoed += result.count;
        }
    });
    std::thread echo([&] {
        platform::Event echoDone(platform::EventReset::Manual);
        unsigned char buffer[64];
        while (stop.wait(0) != platform::WaitResult::Signalled) {
            const platform::SerialReadResult result = farEnd->read(buffer, sizeof buffer, stop);
            if (result.outcome != SerialReadOutcome::Data) return;
            farEnd->write(buffer, result.count, echoDone, kWriteLimitMs);
        }
    });
    const std::string burst(48, 'x');
    const auto start = std::chrono::steady_clock::now();
    while (!gone && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) write(*port, burst);
    stop.set();
    reader.join();
    echo.join();

    EXPECT_FALSE(gone) << "a live line was reported gone";
    EXPECT_GT(echoed.load(), 0) << "nothing came back over the line";
}

// When close() comes relative to a read on another thread.
struct ReadAndClose {
    const char* what;
    int closeAfterMs;  // from the start of the read; negative: before it
};

void PrintTo(const ReadAndClose& c, std::ostream* out) { *out << c.what; }

class ReadOnAClosedPort : public SerialPortTest, public ::testing::WithParamInterface<ReadAndClose> {};

const ReadAndClose kReads[] = {
    {"closed before the read", -1},
    {"closed while the read waits", 300},
};

// The read is never stopped: only the close can end it. Were it to hang, the rescue stops it late.
TEST_P(ReadOnAClosedPort, EndsPromptlyWithoutData)
{
    const std::unique_ptr<SerialPort> port = openPort();
    ASSERT_TRUE(port);
    if (GetParam().closeAfterMs < 0) port->close();

    UnstoppedRead read(*port);
    if (GetParam().closeAfterMs >= 0) {
        platform::sleepMs(GetParam().closeAfterMs);
        EXPECT_FALSE(read.ended()) << "the read ended before the close";
        port->close();
    }
    EXPECT_TRUE(read.endsWithin(kGenerousMs)) << "the read went on after the close";
    EXPECT_NE(read.outcome(), SerialReadOutcome::Data);
}

INSTANTIATE_TEST_SUITE_P(Port, ReadOnAClosedPort, ::testing::ValuesIn(kReads), CaseName());

}  // namespace
