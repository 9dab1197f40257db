#include "indi/IndiUpdate.h"

namespace indi {
namespace {

constexpr size_t kShownTextLength = 60;
constexpr size_t kShownElements = 8;

// A terminal must not see the server's control characters, the 8-bit ones (U+0080 to U+009F,
// in UTF-8 0xC2 0x80 to 0xC2 0x9F) included, and a line stays one line.
std::string shown(const std::string& text)
{
    std::string line;
    for (size_t index = 0; index < text.size() && index < kShownTextLength; ++index) {
        const unsigned char character = static_cast<unsigned char>(text[index]);
        const bool control8 = character == 0xC2 && index + 1 < text.size() &&
                              (static_cast<unsigned char>(text[index + 1]) & 0xE0) == 0x80;
        if (control8) ++index;
        line += character < 0x20 || character == 0x7f || control8 ? ' ' : static_cast<char>(character);
    }
    if (text.size() > kShownTextLength) line += "...";
    return line;
}

}  // namespace

std::string IndiUpdate::summary() const
{
    switch (kind) {
    case Kind::Message: return "message " + shown(property.device.empty() ? message : property.device + ": " + message);
    case Kind::Ignored: return "ignored " + shown(note);
    case Kind::Delete:
        return property.name.empty() ? "del device " + shown(property.device) : "del " + shown(property.name);
    case Kind::Define:
    case Kind::Set: break;
    }
    std::string line = kind == Kind::Define ? "def " : "set ";
    line += shown(property.name);
    if (kind == Kind::Define) line += std::string(" ") + typeName(property.type);
    if (hasState) line += std::string(" ") + stateName(property.state);
    for (size_t index = 0; index < property.elements.size() && index < kShownElements; ++index) {
        line += " " + shown(property.elements[index].name) + "=" + shown(property.elements[index].text);
    }
    if (property.elements.size() > kShownElements) {
        line += " (+" + std::to_string(property.elements.size() - kShownElements) + " more)";
    }
    if (!message.empty()) line += " \"" + shown(message) + "\"";
    return line;
}

}  // namespace indi
