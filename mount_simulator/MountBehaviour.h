#pragma once

#include <string>

#include "mount_simulator/MountMotion.h"

// How the simulated mount answers. Timing and content combine: a replaced answer can also be
// delayed and sent one byte at a time.
struct MountBehaviour {
    enum class Answers {
        Normal,    // as an LX200 answers
        Silent,    // nothing at all, as a mount that is switched off
        Replaced,  // every get-command gets replacement instead
    };

    Answers answers = Answers::Normal;
    std::string replacement;
    // A mount's normal answers, in the long format, '#' included. The position is where the
    // mount begins; until it moves, it is answered exactly as given.
    std::string siderealTime = "01:23:45#";
    std::string rightAscension = "02:34:56#";
    std::string declination = "+12*34'56#";
    MountMotion::Settings motion;
    // Each position answered is off by up to this much either way on the sky, as an encoder's
    // jitter or a mount's rounding makes it.
    double readingNoiseArcsec = 0;
    bool shortFormat = false;  // answers positions in the short format until :U# switches it
    int delayMs = 0;    // from receiving a command to the first byte of its answer
    int byteGapMs = 0;  // between the bytes of an answer; 0 sends each answer in one piece
};
