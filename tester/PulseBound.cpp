#include "tester/PulseBound.h"

#include <algorithm>
#include <cctype>

PulseBound PulseBound::forPulse(int ticks, int allowanceMs, int slackMs)
{
    return forLength(ticks * kTickMs, allowanceMs, slackMs);
}

PulseBound PulseBound::forLength(int lengthMs, int allowanceMs, int slackMs)
{
    return {static_cast<double>(lengthMs - kMeasurementJitterMs - slackMs),
            static_cast<double>(lengthMs + allowanceMs + slackMs)};
}

bool directionNamed(const std::string& name, Direction& direction)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "north" || lower == "n") {
        direction = Direction::North;
    } else if (lower == "south" || lower == "s") {
        direction = Direction::South;
    } else if (lower == "east" || lower == "e") {
        direction = Direction::East;
    } else if (lower == "west" || lower == "w") {
        direction = Direction::West;
    } else {
        return false;
    }
    return true;
}

const char* directionName(Direction direction)
{
    switch (direction) {
    case Direction::North:
        return "north";
    case Direction::South:
        return "south";
    case Direction::East:
        return "east";
    case Direction::West:
        return "west";
    }
    return "?";
}
