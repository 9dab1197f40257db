#include "link/FrameAssembler.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/CaseName.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Feeds bytes one at a time and returns every frame completed, as whole byte strings.
std::vector<Bytes> assemble(const Bytes& stream)
{
    FrameAssembler assembler;
    std::vector<Bytes> frames;
    for (unsigned char byte : stream) {
        if (const unsigned char* frame = assembler.accept(byte)) {
            frames.emplace_back(frame, frame + 1 + ControlFrame::payloadLengthOf(frame[0]));
        }
    }
    return frames;
}

struct AssemblyCase {
    const char* what;
    Bytes stream;
    std::vector<Bytes> expected;
};
// Shown in the test list, which CTest reads; the raw bytes would differ from run to run.
void PrintTo(const AssemblyCase& c, std::ostream* out) { *out << c.what; }


class FrameAssembly : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(FrameAssembly, DispatchesEachWholeFrameOnceInOrder)
{
    EXPECT_EQ(assemble(GetParam().stream), GetParam().expected) << GetParam().what;
}

Bytes fullDataFrame()
{
    Bytes frame{0xDF};
    for (unsigned char i = 0; i < 31; ++i) frame.push_back(static_cast<unsigned char>(0x80 + i));
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FrameAssembly,
    ::testing::Values(
        AssemblyCase{"a tick", {0xA1, 0x01}, {{0xA1, 0x01}}},
        AssemblyCase{"a connect to COM200 keeps its port byte", {0xA2, 0x03, 200}, {{0xA2, 0x03, 200}}},
        AssemblyCase{"a 31-byte data frame whose payload has the header mark", fullDataFrame(), {fullDataFrame()}},
        AssemblyCase{"stray bytes before a header are dropped", {0x01, 0x7F, 0x23, 0xA1, 0x04}, {{0xA1, 0x04}}},
        AssemblyCase{"back-to-back frames", {0xA1, 0x01, 0xA3, 0x05, 0x02, 0x05, 0xC2, 'a', '#'},
                     {{0xA1, 0x01}, {0xA3, 0x05, 0x02, 0x05}, {0xC2, 'a', '#'}}},
        AssemblyCase{"a header announcing no payload takes the next byte", {0xA0, 0x42, 0xA1, 0x01},
                     {{0xA0}, {0xA1, 0x01}}},
        AssemblyCase{"a truncated frame swallows the next header as payload", {0xA3, 0x05, 0xA1, 0x01, 0x01},
                     {{0xA3, 0x05, 0xA1, 0x01}}},
        AssemblyCase{"bytes after a frame wait for the next header", {0xA1, 0x04, 0x04, 0x04, 0xA1, 0x01},
                     {{0xA1, 0x04}, {0xA1, 0x01}}}),
    CaseName());

}  // namespace
