#pragma once

#include <string>
#include <utility>
#include <vector>

namespace indi {

// The client's side of the protocol as text: requests to the server, each one complete element.
class IndiCommand {
public:
    using Numbers = std::vector<std::pair<std::string, double>>;
    using Switches = std::vector<std::pair<std::string, bool>>;

    // Asks for every property of every device, and for the updates that follow.
    static std::string getProperties();
    static std::string newNumberVector(const std::string& device, const std::string& name, const Numbers& values);
    static std::string newSwitchVector(const std::string& device, const std::string& name, const Switches& values);

    // Text made safe inside an attribute value or between tags.
    static std::string escaped(const std::string& text);
};

}  // namespace indi
