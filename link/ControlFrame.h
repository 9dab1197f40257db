#pragma once

// The frames on the link's control pipe: one header byte, then 0 to 31 payload bytes.
// Header bit 7 is always 1, bits 6-5 hold the frame type, bits 4-0 the payload length.
// Command frames carry a command code and its arguments; data frames carry bytes exactly as
// they arrived from the serial port.
namespace ControlFrame {

constexpr unsigned char kHeaderMark = 0x80;
constexpr int kMaxPayload = 31;
constexpr int kMaxSize = 1 + kMaxPayload;

enum Type : int {
    TypeCommand = 1,
    TypeData = 2,
};

enum CommandCode : int {
    CommandTick = 1,
    CommandConnect = 3,
    CommandDisconnect = 4,
    CommandCorrection = 5,
    CommandHalt = 6,
    CommandMountTimedCorrection = 7,
};

constexpr unsigned char header(int type, int payloadLength)
{
    return static_cast<unsigned char>(kHeaderMark | ((type & 3) << 5) | (payloadLength & 0x1F));
}

constexpr bool isHeader(unsigned char byte) { return (byte & kHeaderMark) != 0; }
constexpr int typeOf(unsigned char header) { return (header >> 5) & 3; }
constexpr int payloadLengthOf(unsigned char header) { return header & 0x1F; }

}  // namespace ControlFrame

// A command frame ready to write: at most a header and four payload bytes.
struct CommandFrame {
    unsigned char bytes[5];
    int size;
};

namespace ControlFrame {

// Arguments travel as their low 8 bits: port 256 becomes 0, direction 257 becomes 1.
constexpr unsigned char lowByte(int value) { return static_cast<unsigned char>(value & 0xFF); }

constexpr CommandFrame tick() { return {{header(TypeCommand, 1), CommandTick}, 2}; }
constexpr CommandFrame connect(int port) { return {{header(TypeCommand, 2), CommandConnect, lowByte(port)}, 3}; }
constexpr CommandFrame disconnect() { return {{header(TypeCommand, 1), CommandDisconnect}, 2}; }
constexpr CommandFrame correction(int direction, int ticks)
{
    return {{header(TypeCommand, 3), CommandCorrection, lowByte(direction), lowByte(ticks)}, 4};
}
// A pulse the mount times itself (:Mg); ms travels high byte first, its low 16 bits only.
constexpr CommandFrame mountTimedCorrection(int direction, int ms)
{
    return {{header(TypeCommand, 4), CommandMountTimedCorrection, lowByte(direction), lowByte(ms >> 8), lowByte(ms)}, 5};
}
constexpr CommandFrame halt() { return {{header(TypeCommand, 1), CommandHalt}, 2}; }

}  // namespace ControlFrame
