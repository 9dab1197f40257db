#include "indi/IndiProperty.h"

#include <charconv>
#include <cmath>

namespace indi {

const IndiElement* IndiProperty::element(const std::string& elementName) const
{
    for (const IndiElement& member : elements) {
        if (member.name == elementName) return &member;
    }
    return nullptr;
}

const char* typeName(PropertyType type)
{
    switch (type) {
    case PropertyType::Number: return "Number";
    case PropertyType::Switch: return "Switch";
    case PropertyType::Text: return "Text";
    case PropertyType::Light: return "Light";
    }
    return "?";
}

const char* stateName(PropertyState state)
{
    switch (state) {
    case PropertyState::Idle: return "Idle";
    case PropertyState::Ok: return "Ok";
    case PropertyState::Busy: return "Busy";
    case PropertyState::Alert: return "Alert";
    }
    return "?";
}

bool parseState(const std::string& text, PropertyState& state)
{
    for (PropertyState candidate : {PropertyState::Idle, PropertyState::Ok, PropertyState::Busy, PropertyState::Alert}) {
        if (text == stateName(candidate)) {
            state = candidate;
            return true;
        }
    }
    return false;
}

namespace {

// A whole decimal field, nothing before or after it.
bool readDecimal(const char* begin, const char* end, double& value)
{
    if (begin != end && *begin == '+') ++begin;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end && std::isfinite(value);
}

}  // namespace

bool parseIndiNumber(const std::string& text, double& number)
{
    const size_t separator = text.find_first_of(":; ");
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (separator == std::string::npos) return readDecimal(begin, end, number);

    // Sexagesimal: the sign belongs to the whole value, and the later parts are minutes and
    // seconds (either may carry a fraction).
    const bool negative = !text.empty() && text.front() == '-';
    double total = 0;
    double scale = 1;
    const char* part = negative ? begin + 1 : begin;
    for (int index = 0; index < 3 && part <= end; ++index) {
        const char* partEnd = part;
        while (partEnd != end && *partEnd != ':' && *partEnd != ';' && *partEnd != ' ') ++partEnd;
        double value = 0;
        if (!readDecimal(part, partEnd, value) || value < 0) return false;
        total += value / scale;
        scale *= 60;
        if (partEnd == end) {
            number = negative ? -total : total;
            return true;
        }
        part = partEnd + 1;
    }
    return false;
}

std::string formatIndiNumber(double number)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);
    return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

}  // namespace indi
