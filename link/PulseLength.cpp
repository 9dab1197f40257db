#include "link/PulseLength.h"

PulseLength PulseLength::fromField(unsigned fieldValue)
{
    // 2^31 and above are negative as signed numbers, and so too short.
    const int ms = static_cast<int>(fieldValue);
    if (ms < kShortestMs) return {kShortestMs, true};
    if (ms > kLongestMs) return {kLongestMs, true};
    return {ms, false};
}
