#include "mount_simulator/Lx200Mount.h"

namespace {

bool isGetCommand(const std::string& command) { return command.compare(0, 2, ":G") == 0; }

}  // namespace

std::vector<std::string> Lx200Mount::receive(const unsigned char* bytes, std::size_t count)
{
    std::vector<std::string> completed;
    for (std::size_t i = 0; i < count; ++i) {
        const char byte = static_cast<char>(bytes[i]);
        // A ':' inside a command belongs to it (":Sr 12:34:56#"), so only an idle mount starts on one.
        if (pending_.empty() && byte != ':') continue;
        pending_ += byte;
        if (byte == '#') {
            completed.push_back(std::move(pending_));
            pending_.clear();
        } else if (pending_.size() == kMaxCommandLength) {
            pending_.clear();
        }
    }
    return completed;
}

std::string Lx200Mount::answerTo(const std::string& command, const MountBehaviour& behaviour)
{
    switch (behaviour.answers) {
    case MountBehaviour::Answers::Silent:
        return {};
    case MountBehaviour::Answers::Replaced:
        return isGetCommand(command) ? behaviour.replacement : std::string();
    case MountBehaviour::Answers::Normal:
        break;
    }
    if (command == ":GS#") return behaviour.siderealTime;
    if (command == ":GR#") return behaviour.rightAscension;
    if (command == ":GD#") return behaviour.declination;
    // Rates, movements, stops and everything unknown go unanswered, as on a real LX200.
    return {};
}
