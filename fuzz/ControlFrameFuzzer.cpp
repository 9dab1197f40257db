// Fuzzes the receiving end of the control pipe: any bytes at all (stray bytes, truncated,
// oversized and zero-length frames, frames of every type) go through the frame assembler, and
// each frame it hands out goes straight to the mount protocol, as the frame reader does.
//
// Checked on every byte: the assembler hands out a frame exactly when the header it started
// with and as many bytes as that header announces (one, for an empty frame) are in, and the frame
// holds those bytes. Checked on every frame: the protocol and the port agree on whether the port
// is open, and (in the stand-ins) only known commands are written, only to an open port with its
// reader running, and only status codes 1 to 9 are reported.
//
// Input layout (FuzzedDataProvider takes the numbers from the end, the bytes from the front):
//   last byte            whether each attempt to open a port succeeds: bit i for attempt i mod 8
//   byte before it       bit 0: whether writes to the port succeed
//   everything in front  the bytes on the control pipe

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/RecordingLink.h"
#include "link/ControlFrame.h"
#include "link/FrameAssembler.h"
#include "link/MountProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const auto openResults = provider.ConsumeIntegral<std::uint8_t>();
    const bool writesSucceed = provider.ConsumeBool();
    const std::vector<std::uint8_t> pipe = provider.ConsumeRemainingBytes<std::uint8_t>();

    LinkLog log;
    RecordingSerialLink serial(log, openResults, writesSucceed);
    RecordingListener listener(log);
    MountProtocol protocol(serial, &listener, [](int) { return true; });
    FrameAssembler assembler;

    std::vector<std::uint8_t> pending;  // the frame being collected: its header and what followed
    std::size_t frameSize = 0;          // bytes the pending frame takes from the pipe
    for (std::uint8_t byte : pipe) {
        bool complete = false;
        if (!pending.empty()) {
            pending.push_back(byte);
            complete = pending.size() == frameSize;
        } else if (ControlFrame::isHeader(byte)) {
            pending.push_back(byte);
            frameSize = 1 + static_cast<std::size_t>(std::max(1, ControlFrame::payloadLengthOf(byte)));
        }

        const unsigned char* frame = assembler.accept(byte);
        FUZZ_CHECK((frame != nullptr) == complete);
        if (!complete) continue;

        const int payloadLength = ControlFrame::payloadLengthOf(pending[0]);
        FUZZ_CHECK(frame[0] == pending[0]);
        FUZZ_CHECK(std::memcmp(frame + 1, pending.data() + 1, static_cast<std::size_t>(payloadLength)) == 0);
        pending.clear();

        protocol.dispatchFrame(frame);
        FUZZ_CHECK(protocol.portIsOpen() == serial.isOpen());
    }
    return 0;
}
