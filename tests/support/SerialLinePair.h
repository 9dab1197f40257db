#pragma once

#include <string>

// The real serial line that tests/line/with-serial-pair.sh made for this test program: the guide
// link's end is COM5, the simulated mount's COM6, and COM7 names a device that does not exist.
class SerialLinePair {
public:
    static constexpr int kLinkPort = 5;
    static constexpr int kMountPort = 6;
    static constexpr int kAbsentPort = 7;

    // Maps the three port numbers to the line's devices where devices have paths.
    SerialLinePair();

    // False when the program was started without the script, so there is no line.
    bool present() const { return !cutRequest.empty(); }

    // Cuts the line as a pulled USB adapter would: both ends vanish. True once they have.
    bool cut(int timeoutMs);

private:
    std::string cutRequest;
};
