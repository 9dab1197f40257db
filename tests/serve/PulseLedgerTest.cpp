// The page's pulse list: each pulse measured from its own move to its own stop, however pulses
// overlap or reverse, and a pulse the link could not send listed with the command that failed.
#include "serve/PulseLedger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Clock = PulseLedger::Clock;

// One thing that happens: a pulse asked for (ms > 0), or a command written at a moment.
struct Step {
    const char* command;  // or the direction asked
    int ms;               // the pulse's length, or when the command was written
    bool ok = true;
};

struct LedgerCase {
    const char* what;
    std::vector<Step> steps;
    std::vector<std::string> listed;  // "east 1000 asked: 1000.0 within", "north 1000 asked: :RG# unwritten"
};

std::string line(const nlohmann::json& pulse)
{
    std::string text = pulse["direction"].get<std::string>() + " " + std::to_string(pulse["asked_ms"].get<int>()) +
                       " asked: ";
    if (pulse.contains("unwritten")) return text + pulse["unwritten"].get<std::string>() + " unwritten";
    char measured[32];
    std::snprintf(measured, sizeof measured, "%.1f", pulse["measured_ms"].get<double>());
    return text + measured + (pulse["within"].get<bool>() ? " within" : " OUT");
}

TEST(PulseLedgerTest, EachPulseIsMeasuredByItsOwnMoveAndStop)
{
    const LedgerCase cases[] = {
        {"one pulse",
         {{"north", 1000}, {":RG#", 0}, {":Mn#", 0}, {":Qn#", 1000}},
         {"north 1000 asked: 1000.0 within"}},
        {"east, then north 300 ms later on the other axis",
         {{"east", 1000}, {":RG#", 0}, {":Me#", 0}, {"north", 2000}, {":RG#", 300}, {":Mn#", 300},
          {":Qe#", 1000}, {":Qn#", 2300}},
         {"east 1000 asked: 1000.0 within", "north 2000 asked: 2000.0 within"}},
        {"east, then west 300 ms later: east is let go at once",
         {{"east", 1000}, {":RG#", 0}, {":Me#", 0}, {"west", 1000}, {":Qe#", 300}, {":RG#", 300}, {":Mw#", 300},
          {":Qw#", 1300}},
         {"east 1000 asked: 300.0 OUT", "west 1000 asked: 1000.0 within"}},
        {"the guide rate could not be written: no move follows",
         {{"north", 1000}, {":RG#", 0, false}, {"south", 500}, {":RG#", 100}, {":Ms#", 100}, {":Qs#", 600}},
         {"north 1000 asked: :RG# unwritten", "south 500 asked: 500.0 within"}},
        {"the move could not be written", {{"west", 1000}, {":RG#", 0}, {":Mw#", 0, false}},
         {"west 1000 asked: :Mw# unwritten"}},
        {"the stop could not be written", {{"west", 1000}, {":RG#", 0}, {":Mw#", 0}, {":Qw#", 1000, false}},
         {"west 1000 asked: :Qw# unwritten"}},
        {"a halt and handshake commands are no pulse's",
         {{":GS#", 0}, {":Q#", 10}, {":Qn#", 20}}, {}},
    };
    for (const LedgerCase& c : cases) {
        PulseLedger ledger;
        std::vector<std::string> listed;
        for (const Step& step : c.steps) {
            Direction direction;
            if (directionNamed(step.command, direction)) {
                ledger.asked(direction, PulseLength{step.ms, false});
            } else if (auto ended = ledger.written(step.command, step.ok, Clock::time_point(std::chrono::milliseconds(step.ms)))) {
                listed.push_back(line(*ended));
            }
        }
        EXPECT_EQ(listed, c.listed) << c.what;
    }
}

}  // namespace
