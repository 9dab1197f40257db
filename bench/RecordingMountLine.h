#pragma once

#include <memory>
#include <string>

#include "mount_simulator/MountLine.h"

class LineJournal;

// The simulated mount's end of a serial line given by its device path (one end of a socat pair
// of pseudo-terminals), read at once whenever bytes are waiting, with no wait for the line to go
// quiet, so that each read's time is when its bytes arrived. Every read is told to the journal.
class RecordingMountLine final : public MountLine {
public:
    // Null, with the reason in error, if the device cannot be opened as a terminal.
    static std::unique_ptr<RecordingMountLine> open(const std::string& path, LineJournal& journal, std::string& error);

    RecordingMountLine(int fd, LineJournal& journal);
    ~RecordingMountLine() override;
    RecordingMountLine(const RecordingMountLine&) = delete;
    RecordingMountLine& operator=(const RecordingMountLine&) = delete;

    platform::SerialReadResult read(unsigned char* buffer, int capacity, platform::Event& stop) override;
    // Waits as long as the other end keeps taking bytes, so a flood is held back by the link
    // exactly as far as the link falls behind; false only if the line failed or nothing could be
    // written for kStallLimitMs.
    bool write(const unsigned char* bytes, int count) override;

    static constexpr int kStallLimitMs = 20000;

private:
    int fd_;
    LineJournal& journal_;
};
