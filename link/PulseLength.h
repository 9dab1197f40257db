#pragma once

// The length of a guide pulse as the pulse field asks for it.
struct PulseLength {
    static constexpr int kShortestMs = 200;
    static constexpr int kLongestMs = 5000;
    static constexpr int kMsPerTick = 100;

    // From the field's value as GetDlgItemInt reads it (unsigned; 0 for text that is no number),
    // taken as a signed number: below 200 becomes 200, above 5000 becomes 5000.
    static PulseLength fromField(unsigned fieldValue);

    int ms;
    bool corrected;  // the field must show ms instead of what was typed
    int ticks() const { return ms / kMsPerTick; }  // 2 to 50, the remainder dropped
};
