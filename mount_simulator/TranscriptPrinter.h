#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "mount_simulator/MountObserver.h"

// Prints the mount's traffic as it happens, one flushed line each, so a person or a script
// watching the output sees it at once:
//      12.345  :GS#
//      12.346  -> 01:23:45#
//      13.050  position RA 02:34:57  Dec +12*34'56
//      13.100  :Xy#  (not understood)
//      13.200  stray bytes \x00\xFF
class TranscriptPrinter final : public MountObserver {
public:
    explicit TranscriptPrinter(std::FILE* out) : out_(out) {}

    void commandReceived(const ReceivedCommand& command) override;
    void answerSent(double milliseconds, const std::string& answer) override;
    void strayBytes(double milliseconds, const std::string& bytes) override;
    // Called by the program's own thread, which watches the position.
    void positionChanged(double milliseconds, const std::string& position);

private:
    void printLine(double milliseconds, const std::string& text);

    std::FILE* out_;
    std::mutex printing_;
};
