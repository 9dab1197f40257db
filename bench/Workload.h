#pragma once

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "link/Direction.h"

class LineJournal;
class MountSimulator;

namespace bench {

class ResultWriter;

// How one build takes guide pulses: the native link by direct calls, the Windows program by its
// pulse field and arrow buttons.
class PulseButtons {
public:
    virtual ~PulseButtons() = default;
    // Sets the length the next presses ask for; false if that failed.
    virtual bool setLength(int ms) = 0;
    // Asks for a pulse. callMs is when the request was made (the call, or the click command sent
    // to the driver), acknowledgedMs when it had certainly been made (the call returned, the
    // driver said the dialog took the click). False if it failed.
    virtual bool press(Direction direction, double& callMs, double& acknowledgedMs) = 0;
};

struct PulseSample {
    int round = 0;
    Direction direction = Direction::North;
    int requestedMs = 0;
    double callMs = 0;
    double acknowledgedMs = 0;
    double moveFirstMs = 0;  // the first byte of :Mx#
    double moveLastMs = 0;
    double stopFirstMs = 0;  // the first byte of :Qx#
    double stopLastMs = 0;

    // How much longer than asked the mount moved: from the end of the move command to the
    // start of the stop, less the length asked for.
    double errorMs() const { return stopFirstMs - moveLastMs - requestedMs; }
    double latencyMs() const { return moveFirstMs - callMs; }
};

struct ProcessActivity;
// Writes an "idle" record for the process and a "thread" record for each of its threads.
void recordIdle(ResultWriter& results, const std::string& process, const ProcessActivity& activity);

// The pulse lengths asked for, in ms: each a whole number of ticks, from two to fifty.
extern const std::vector<int> kPulseLengthsMs;

// Runs pairsPerLength pairs of pulses for each length, in shuffled order: in each pair a
// north/south pulse, then an east/west one asked for a random part of a tick later, so both
// axes run at once and the requests fall anywhere in a tick. Each sample goes to results as it is taken. Returns the
// number of samples, or -1 (with the reason in error) if a pulse did not go through.
int runPulseRound(PulseButtons& buttons, LineJournal& journal, const std::vector<int>& lengthsMs, int pairsPerLength,
                  int round, std::mt19937& random, ResultWriter& results, std::string& error);

// The replies the flood consists of: well-formed, and ignored by a link that has no handshake
// running. The marker is a reply beginning with '!', which the link always reports as status 5;
// its leading '#' ends any reply the flood left unfinished.
extern const char* const kFloodUnit;
extern const char* const kMarker;

struct FloodOutcome {
    double askedBytesPerSecond = 0;  // 0: as fast as the line takes them
    double carriedBytesPerSecond = 0;
    double bytes = 0;
    double startMs = 0;
    double markerSentMs = 0;
    double markerHandledMs = -1;  // negative: never seen
    double markerLatencyMs() const { return markerHandledMs - markerSentMs; }
};

// Sends the flood from the mount's end for seconds at the asked rate (0: flat out), then the
// marker; waitForMarker is called at once and returns when the link has reported the marker
// (negative if it never did).
FloodOutcome floodThenMark(MountSimulator& mount, double bytesPerSecond, double seconds,
                           const std::function<double()>& waitForMarker);

// Whether the link carried a flood without falling behind: the mount could send at the asked
// rate, and the marker behind it was handled within kMarkerPromptMs.
constexpr double kMarkerPromptMs = 200;
bool keptUp(const FloodOutcome& outcome);

// Tries flood(rate) up a ladder of rates, from what a 9600-baud line carries to a thousand times
// that, until one falls behind (flood returns false); then narrows the step between the last rate
// carried and the first not carried by trying rates in between.
void climbFloodLadder(const std::function<bool(double)>& flood, bool quick);

}  // namespace bench
