#pragma once

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "mount_simulator/MountBehaviour.h"
#include "mount_simulator/MountMotion.h"
#include "mount_simulator/MountSite.h"

// The LX200 command set as the simulated mount understands it, without any I/O: commands are
// cut out of the received byte stream, each one moves the mount or is given its answer, and
// the position is answered from where the mount is at that moment.
class Lx200Mount {
public:
    // Longer than any LX200 command: a run this long without its '#' is noise, not a command.
    static constexpr std::size_t kMaxCommandLength = 32;
    // ACK, a command of one byte outside the ':' ... '#' frame: asks how the mount is aligned.
    static constexpr char kAlignmentQuery = '\x06';

    // The site and clock start as on the host; tests set them with setSite.
    Lx200Mount() : site_(MountSite::onHostClock()) {}
    void setSite(const MountSite& site) { site_ = site; }

    // Takes received bytes, in pieces of any size; returns the commands they completed, in order.
    // A command runs from ':' to '#', or is the alignment query alone; anything else before its
    // ':', and a run too long to be one, is set aside for takeStray.
    std::vector<std::string> receive(const unsigned char* bytes, std::size_t count);
    // The bytes set aside since the last call.
    std::string takeStray() { return std::exchange(stray_, {}); }
    // Whether command is one this mount obeys or answers; the rest it leaves unanswered.
    static bool understands(const std::string& command);

    // Obeys command, received at seconds on the simulator's clock, and returns what the mount
    // sends back; empty when it sends nothing.
    std::string answerTo(const std::string& command, const MountBehaviour& behaviour, double seconds);

    // Where the mount points at seconds, for people: "RA 02:34:56  Dec +12*34'56".
    std::string position(const MountBehaviour& behaviour, double seconds) const;

private:
    // Where a slew or a sync has turned the mount, on top of the guide moves: seconds of time of
    // right ascension, arcseconds of declination.
    struct Shift {
        double rightAscension = 0;
        double declination = 0;
    };
    // A goto: the shift runs from one value to the other, both axes at the slew rate, the longer
    // way setting the time.
    struct Slew {
        double startAt = 0;
        double endAt = 0;
        Shift from;
        Shift to;
    };

    // The answer to a command that only moves the mount, sets it or asks it, in the normal way.
    std::string obey(const std::string& command, const MountBehaviour& behaviour, double seconds);
    Shift shiftAt(double seconds) const;
    bool slewing(double seconds) const { return seconds < slew_.endAt; }
    // Where the mount points at seconds, noise left out: seconds of time, arcseconds.
    double rightAscensionAt(const MountBehaviour& behaviour, double seconds) const;
    double declinationAt(const MountBehaviour& behaviour, double seconds) const;
    void slewToTarget(const MountBehaviour& behaviour, double seconds);
    void syncToTarget(const MountBehaviour& behaviour, double seconds);
    void stopSlew(double seconds);

    // noiseArcsec: how far off the sky this answer is, where the mount reads noisily.
    std::string rightAscension(const MountBehaviour& behaviour, double seconds, double noiseArcsec = 0) const;
    std::string declination(const MountBehaviour& behaviour, double seconds, double noiseArcsec = 0) const;
    // Up to the behaviour's reading noise either way, drawn afresh for each answer.
    double readingNoise(const MountBehaviour& behaviour);
    bool shortFormat(const MountBehaviour& behaviour) const { return behaviour.shortFormat != formatSwitched_; }

    std::string pending_;  // the command being collected, empty while waiting for a ':'
    std::string stray_;    // bytes that were no command
    MountMotion motion_;
    MountSite site_;
    Slew slew_;
    std::optional<double> targetRightAscension_;  // from :Sr, seconds of time
    std::optional<double> targetDeclination_;     // from :Sd, arcseconds
    bool formatSwitched_ = false;  // by an odd number of :U#
    std::mt19937 noise_;  // seeded the same each time, so a noisy run can be repeated
};
