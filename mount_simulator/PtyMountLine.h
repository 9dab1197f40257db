#pragma once

#include <memory>
#include <string>

#include "mount_simulator/MountLine.h"

// A mount line on a pseudo-terminal of this program's own: the tester opens the terminal's
// path as its serial device, the simulator reads and writes the master side.
class PtyMountLine final : public MountLine {
public:
    // Null, with the reason in error, if no pseudo-terminal could be set up.
    static std::unique_ptr<PtyMountLine> open(std::string& error);

    PtyMountLine(int masterFd, int terminalFd, std::string terminalPath);
    ~PtyMountLine() override;
    PtyMountLine(const PtyMountLine&) = delete;
    PtyMountLine& operator=(const PtyMountLine&) = delete;

    // The path for the tester, such as /dev/pts/3.
    const std::string& terminalPath() const { return terminalPath_; }

    platform::SerialReadResult read(unsigned char* buffer, int capacity, platform::Event& stop) override;
    bool write(const unsigned char* bytes, int count) override;

private:
    int masterFd_;
    // Kept open so the master never reads as hung up while the tester has the terminal closed,
    // between its connections.
    int terminalFd_;
    std::string terminalPath_;
};
