#pragma once

#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "tester/LinkEventQueue.h"
#include "tester/PulseBound.h"
#include "link/Direction.h"
#include "link/PulseLength.h"

// The pulses the page asked for, each matched to the commands the link wrote for it, so that a
// pulse is measured from its own move to its own stop however pulses on the two axes overlap,
// and one the link could not send is listed as failed. The link writes a pulse's commands in
// the order pulses were asked: ":RG#", then the move; the stop comes later, or at once when the
// other direction of the axis is asked.
class PulseLedger {
public:
    using Clock = LinkEvent::Clock;

    void asked(Direction direction, const PulseLength& length);
    // A command the link wrote, or failed to write, at a moment: the pulse it ended, if any, as
    // the page's "pulse" event.
    std::optional<nlohmann::json> written(const std::string& command, bool ok, Clock::time_point at);
    // The port closed: no stop will come for what was asked or under way.
    void clear();

private:
    struct Pulse {
        Direction direction;
        PulseLength length;
    };
    struct Moving {
        Pulse pulse;
        Clock::time_point movedAt;
    };

    static PulseBound boundOf(const Pulse& pulse);
    static nlohmann::json report(const Pulse& pulse);

    std::deque<Pulse> waiting;         // asked; ":RG#" not yet written
    std::optional<Pulse> starting;     // ":RG#" written; the move is next
    std::map<char, Moving> moving;     // by the letter of its move and stop: 'n' for ":Mn#"
};
