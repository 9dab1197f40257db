// Fuzzes how the link reads what the mount sends: the response parser on its own, and the mount
// protocol fed the same bytes in data frames, starting from each point of the handshake.
//
// The protocol gets the bytes twice, in two fresh sessions brought to the same starting point:
// once in full 31-byte data frames and once cut as the input says (empty data frames included).
// Both must report the same statuses and write the same commands in the same order; the link
// reads replies byte by byte, so where the serial reader happened to cut them must not matter.
//
// Input layout (FuzzedDataProvider takes the numbers from the end, the bytes from the front):
//   last byte            where the protocol starts: a Start, byte % kStartCount
//   byte before it       how many cut lengths follow: 1 + byte % 16
//   bytes before that    the cut lengths, last one first: byte % 32 payload bytes each, used in
//                        turn until the stream is used up
//   everything in front  the bytes from the mount

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#include "fuzz/RecordingLink.h"
#include "link/ControlFrame.h"
#include "link/Direction.h"
#include "link/MountProtocol.h"
#include "link/ResponseParser.h"

namespace {

enum class Start : int {
    NeverConnected,          // no port: the bytes must be ignored
    AwaitingSiderealTime,    // just connected, ":GS#" written
    AwaitingRightAscension,  // sidereal time accepted, ":GR#" written
    AwaitingDeclination,     // right ascension accepted, ":GD#" written
    Ready,                   // the handshake finished
    HandshakeFailed,         // a sidereal time in the short format ended the handshake
    PulseRunning,            // ready, with an east pulse under way
    TimedOut,                // the handshake ran out of ticks and the port was closed
    Disconnected,            // ready, then disconnected
};
constexpr int kStartCount = 9;

constexpr int kMaxCuts = 16;
constexpr int kPort = 3;

// Hands the protocol one data frame in a buffer of the size it may look at. Under
// AddressSanitizer the bytes past the payload are poisoned: of a data frame, the protocol has no
// business reading more than its payload.
void dispatchData(MountProtocol& protocol, const std::uint8_t* bytes, int count)
{
    alignas(16) static unsigned char frame[ControlFrame::kMaxSize];
    frame[0] = ControlFrame::header(ControlFrame::TypeData, count);
    if (count > 0) std::memcpy(frame + 1, bytes, static_cast<std::size_t>(count));
    ASAN_POISON_MEMORY_REGION(frame + 1 + count, ControlFrame::kMaxSize - 1 - count);
    protocol.dispatchFrame(frame);
    ASAN_UNPOISON_MEMORY_REGION(frame, sizeof frame);
}

void dispatchData(MountProtocol& protocol, const std::string& text)
{
    dispatchData(protocol, reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
}

void dispatchCommand(MountProtocol& protocol, const CommandFrame& command)
{
    unsigned char frame[ControlFrame::kMaxSize] = {};
    std::memcpy(frame, command.bytes, static_cast<std::size_t>(command.size));
    protocol.dispatchFrame(frame);
}

struct Session {
    LinkLog log;
    RecordingSerialLink serial{log, 0xFF, true};
    RecordingListener listener{log};
    MountProtocol protocol{serial, &listener, [](int) { return true; }};
};

// Brings a fresh session to start and checks it got there; the log is cleared afterwards.
void driveTo(Session& session, Start start)
{
    MountProtocol& protocol = session.protocol;
    LinkLog expected;
    const auto connect = [&] {
        dispatchCommand(protocol, ControlFrame::connect(kPort));
        expected.insert(expected.end(), {"open 3", "reader", "status 1", ":GS#"});
    };
    const auto reply = [&](const char* text, LinkLog outcome) {
        dispatchData(protocol, text);
        expected.insert(expected.end(), outcome.begin(), outcome.end());
    };
    const auto handshake = [&] {
        connect();
        reply("01:23:45#", {":GR#"});
        reply("02:34:56#", {":GD#"});
        reply("+12*34'56#", {"status 7"});
    };

    switch (start) {
    case Start::NeverConnected:
        break;
    case Start::AwaitingSiderealTime:
        connect();
        break;
    case Start::AwaitingRightAscension:
        connect();
        reply("01:23:45#", {":GR#"});
        break;
    case Start::AwaitingDeclination:
        connect();
        reply("01:23:45#", {":GR#"});
        reply("02:34:56#", {":GD#"});
        break;
    case Start::Ready:
        handshake();
        break;
    case Start::HandshakeFailed:
        connect();
        reply("12:34.5#", {"status 5"});
        break;
    case Start::PulseRunning:
        handshake();
        dispatchCommand(protocol, ControlFrame::correction(static_cast<int>(Direction::East), 20));
        dispatchCommand(protocol, ControlFrame::tick());  // the move leaves on the next tick
        expected.insert(expected.end(), {"status 8", ":RG#", ":Me#"});
        break;
    case Start::TimedOut:
        connect();
        for (int i = 0; i < MountProtocol::kHandshakeTicks; ++i) dispatchCommand(protocol, ControlFrame::tick());
        expected.insert(expected.end(), {"close", "status 3"});
        break;
    case Start::Disconnected:
        handshake();
        dispatchCommand(protocol, ControlFrame::disconnect());
        expected.insert(expected.end(), {"close", "status 9"});
        break;
    }
    FUZZ_CHECK(session.log == expected);
    session.log.clear();
}

// The replies in stream as the mount's replies are meant to be read: each ends with "#" and holds
// 1 to 49 characters; a reply that reaches 50 characters is lost together with the byte after it.
std::vector<std::string> expectedReplies(const std::vector<std::uint8_t>& stream)
{
    std::vector<std::string> replies;
    std::string pending;
    bool dropNext = false;
    for (std::uint8_t byte : stream) {
        if (dropNext) {
            dropNext = false;
        } else if (byte == '#') {
            if (!pending.empty()) replies.push_back(pending);
            pending.clear();
        } else {
            pending.push_back(static_cast<char>(byte));
            if (pending.size() == ResponseParser::kCapacity) {
                pending.clear();
                dropNext = true;
            }
        }
    }
    return replies;
}

void checkParser(const std::vector<std::uint8_t>& stream)
{
    ResponseParser parser;
    std::vector<std::string> replies;
    for (std::uint8_t byte : stream) {
        if (!parser.accept(byte)) continue;
        const int length = parser.length();
        FUZZ_CHECK(length >= 1 && length <= ResponseParser::kCapacity - 1);
        FUZZ_CHECK(std::memchr(parser.reply(), '#', static_cast<std::size_t>(length)) == nullptr);
        replies.emplace_back(parser.reply(), static_cast<std::size_t>(length));
    }
    FUZZ_CHECK(replies == expectedReplies(stream));
}

// Replies alone only move the handshake forward: from where it stands, each later step happens at
// most once and in order (":GR#", ":GD#", then Ready), "!" and wrong shapes report communication
// errors, and nothing else is done. With no port open, nothing at all happens.
void checkRepliesOnlyAdvanceTheHandshake(Start start, const LinkLog& log)
{
    int stage;  // handshake steps already taken: 0 before the sidereal time, 3 when done
    switch (start) {
    case Start::NeverConnected:
    case Start::TimedOut:
    case Start::Disconnected:
        FUZZ_CHECK(log.empty());
        return;
    case Start::AwaitingSiderealTime:
        stage = 0;
        break;
    case Start::AwaitingRightAscension:
        stage = 1;
        break;
    case Start::AwaitingDeclination:
        stage = 2;
        break;
    default:
        stage = 3;
        break;
    }
    static const char* const kSteps[] = {":GR#", ":GD#", "status 7"};
    for (const std::string& event : log) {
        if (event == "status 5") continue;
        FUZZ_CHECK(stage < 3 && event == kSteps[stage]);
        ++stage;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const auto start = static_cast<Start>(provider.ConsumeIntegralInRange<int>(0, kStartCount - 1));
    std::vector<int> cuts(static_cast<std::size_t>(provider.ConsumeIntegralInRange<int>(1, kMaxCuts)));
    for (int& cut : cuts) cut = provider.ConsumeIntegralInRange<int>(0, ControlFrame::kMaxPayload);
    if (std::all_of(cuts.begin(), cuts.end(), [](int cut) { return cut == 0; })) cuts.push_back(1);
    const std::vector<std::uint8_t> stream = provider.ConsumeRemainingBytes<std::uint8_t>();

    checkParser(stream);

    Session whole;
    driveTo(whole, start);
    for (std::size_t at = 0; at < stream.size(); at += ControlFrame::kMaxPayload) {
        const std::size_t count = std::min<std::size_t>(ControlFrame::kMaxPayload, stream.size() - at);
        dispatchData(whole.protocol, stream.data() + at, static_cast<int>(count));
    }
    checkRepliesOnlyAdvanceTheHandshake(start, whole.log);

    Session cut;
    driveTo(cut, start);
    std::size_t at = 0;
    for (std::size_t i = 0; at < stream.size(); i = (i + 1) % cuts.size()) {
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(cuts[i]), stream.size() - at);
        dispatchData(cut.protocol, stream.data() + at, static_cast<int>(count));
        at += count;
    }
    FUZZ_CHECK(cut.log == whole.log);
    FUZZ_CHECK(cut.protocol.portIsOpen() == whole.protocol.portIsOpen());
    return 0;
}
