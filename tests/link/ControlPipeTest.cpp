#include "link/ControlPipe.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/ControlFrame.h"
#include "link/FrameAssembler.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Reads everything waiting in the pipe and splits it into frames.
std::vector<Bytes> drainFrames(ControlPipe& pipe)
{
    FrameAssembler assembler;
    std::vector<Bytes> frames;
    unsigned char byte;
    while (pipe.available() > 0 && pipe.readByte(byte)) {
        if (const unsigned char* frame = assembler.accept(byte)) {
            frames.emplace_back(frame, frame + 1 + ControlFrame::payloadLengthOf(frame[0]));
        }
    }
    return frames;
}

TEST(ControlFrame, CommandFramesCarryTheirArgumentsLowBytes)
{
    auto bytesOf = [](const CommandFrame& frame) { return Bytes(frame.bytes, frame.bytes + frame.size); };
    EXPECT_EQ(bytesOf(ControlFrame::tick()), (Bytes{0xA1, 0x01}));
    EXPECT_EQ(bytesOf(ControlFrame::connect(3)), (Bytes{0xA2, 0x03, 3}));
    EXPECT_EQ(bytesOf(ControlFrame::connect(200)), (Bytes{0xA2, 0x03, 200}));
    EXPECT_EQ(bytesOf(ControlFrame::connect(256)), (Bytes{0xA2, 0x03, 0}));
    EXPECT_EQ(bytesOf(ControlFrame::disconnect()), (Bytes{0xA1, 0x04}));
    EXPECT_EQ(bytesOf(ControlFrame::correction(3, 50)), (Bytes{0xA3, 0x05, 3, 50}));
    EXPECT_EQ(bytesOf(ControlFrame::correction(257, 300)), (Bytes{0xA3, 0x05, 1, 44}));
    EXPECT_EQ(bytesOf(ControlFrame::correction(-1, 2)), (Bytes{0xA3, 0x05, 0xFF, 2}));
}

TEST(ControlPipe, ForwardsReceivedBytesAsDataFramesOfAtMost31)
{
    ControlPipe pipe;
    Bytes received(100);
    for (size_t i = 0; i < received.size(); ++i) received[i] = static_cast<unsigned char>(i * 7 + 0x80);
    pipe.forwardData(received.data(), static_cast<int>(received.size()));

    const std::vector<Bytes> frames = drainFrames(pipe);
    ASSERT_EQ(frames.size(), 4u);
    Bytes payloads;
    const int expectedLengths[] = {31, 31, 31, 7};
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i][0], ControlFrame::header(ControlFrame::TypeData, expectedLengths[i]));
        EXPECT_EQ(frames[i].size(), static_cast<size_t>(expectedLengths[i] + 1));
        payloads.insert(payloads.end(), frames[i].begin() + 1, frames[i].end());
    }
    EXPECT_EQ(payloads, received);
}

TEST(ControlPipe, ForwardsNothingForAnEmptyRead)
{
    ControlPipe pipe;
    const unsigned char byte = 'x';
    pipe.forwardData(&byte, 0);
    pipe.forwardData(&byte, -5);
    EXPECT_EQ(pipe.available(), 0);
}

TEST(ControlPipe, DiscardEmptiesThePipe)
{
    ControlPipe pipe;
    const CommandFrame tick = ControlFrame::tick();
    for (int i = 0; i < 10; ++i) pipe.writeFrame(tick.bytes, tick.size);
    pipe.discardWaiting();
    EXPECT_EQ(pipe.available(), 0);
}

}  // namespace
