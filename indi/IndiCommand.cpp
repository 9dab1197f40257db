#include "indi/IndiCommand.h"

#include "indi/IndiProperty.h"

namespace indi {
namespace {

// Which protocol this client speaks: the one every INDI server since 2010 understands.
constexpr const char* kProtocolVersion = "1.7";

template <typename Values, typename Text>
std::string vector(const char* kind, const char* member, const std::string& device, const std::string& name,
                   const Values& values, Text text)
{
    std::string xml = std::string("<") + kind + " device=\"" + IndiCommand::escaped(device) + "\" name=\"" +
                      IndiCommand::escaped(name) + "\">\n";
    for (const auto& value : values) {
        xml += std::string("  <") + member + " name=\"" + IndiCommand::escaped(value.first) + "\">" +
               text(value.second) + "</" + member + ">\n";
    }
    return xml + "</" + kind + ">\n";
}

}  // namespace

std::string IndiCommand::getProperties()
{
    return std::string("<getProperties version=\"") + kProtocolVersion + "\"/>\n";
}

std::string IndiCommand::newNumberVector(const std::string& device, const std::string& name, const Numbers& values)
{
    return vector("newNumberVector", "oneNumber", device, name, values, formatIndiNumber);
}

std::string IndiCommand::newSwitchVector(const std::string& device, const std::string& name, const Switches& values)
{
    return vector("newSwitchVector", "oneSwitch", device, name, values,
                  [](bool on) { return std::string(on ? "On" : "Off"); });
}

std::string IndiCommand::escaped(const std::string& text)
{
    std::string safe;
    for (char character : text) {
        switch (character) {
        case '&': safe += "&amp;"; break;
        case '<': safe += "&lt;"; break;
        case '>': safe += "&gt;"; break;
        case '"': safe += "&quot;"; break;
        case '\'': safe += "&apos;"; break;
        default: safe += character;
        }
    }
    return safe;
}

}  // namespace indi
