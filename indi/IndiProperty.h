#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace indi {

enum class PropertyType { Number, Switch, Text, Light };
enum class PropertyState { Idle, Ok, Busy, Alert };

// One member of a property: its name, its value as the server wrote it (trimmed), and for a
// number the value read from that text (NaN where it reads as no number).
struct IndiElement {
    std::string name;
    std::string label;
    std::string text;
    double number = 0;

    bool isOn() const { return text == "On"; }
};

// A property as the model keeps it. Revisions count updates over the whole model, so a caller
// that noted the model's revision before sending a request can tell which updates came after it.
struct IndiProperty {
    using Clock = std::chrono::steady_clock;

    std::string device;
    std::string name;
    std::string label;
    std::string group;
    PropertyType type = PropertyType::Text;
    PropertyState state = PropertyState::Idle;
    std::string permission;  // ro, wo or rw; lights are ro
    std::string rule;        // switches only: OneOfMany, AtMostOne or AnyOfMany
    std::string message;     // the last message the server attached to an update, if any
    std::vector<IndiElement> elements;

    Clock::time_point updatedAt{};
    std::uint64_t revision = 0;
    // The last set, which is how a driver answers a request; a definition again is no answer.
    std::uint64_t setRevision = 0;
    // The last change into Busy and out of it again, so a short Busy between two looks at the
    // model is not missed.
    Clock::time_point busyAt{};
    std::uint64_t busyRevision = 0;
    Clock::time_point settledAt{};
    std::uint64_t settledRevision = 0;

    const IndiElement* element(const std::string& elementName) const;
};

const char* typeName(PropertyType type);
const char* stateName(PropertyState state);
bool parseState(const std::string& text, PropertyState& state);

// Reads a number as INDI writes them: decimal, or sexagesimal with ':', ';' or ' ' between the
// parts ("-12:30:00"). False for anything else, with number left alone.
bool parseIndiNumber(const std::string& text, double& number);
// The shortest decimal text that reads back as the same value, whatever the locale.
std::string formatIndiNumber(double number);

}  // namespace indi
