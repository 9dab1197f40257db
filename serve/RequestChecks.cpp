#include "serve/RequestChecks.h"

#include <fmt/format.h>

#include <cctype>
#include <filesystem>
#include <random>
#include <system_error>

namespace web {
namespace {

bool wholeNumber(const std::string& text, int lowest, int highest, int& value)
{
    if (text.empty() || text.size() > 9) return false;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    value = std::stoi(text);
    return value >= lowest && value <= highest;
}

Refusal badRequest(std::string message) { return {400, std::move(message)}; }

// A whole number from member name of body, lowest to highest; what to call it in the sentence.
MaybeRefusal readNumber(const nlohmann::json& body, const char* name, const std::string& what, int lowest,
                        int highest, int& value)
{
    const auto member = body.find(name);
    if (member == body.end() || !member->is_number_integer()) {
        return badRequest(fmt::format("{} is missing: give it as a whole number ('{}').", what, name));
    }
    const long long number = member->get<long long>();
    if (number < lowest || number > highest) {
        return badRequest(fmt::format("{} must be {} to {}; {} is not.", what, lowest, highest, number));
    }
    value = static_cast<int>(number);
    return std::nullopt;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

bool readListenAddress(const std::string& text, ListenAddress& address, std::string& error)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        error = fmt::format("--listen takes ADDRESS:PORT, such as 127.0.0.1:{}, not '{}'", kDefaultPort, text);
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    int port = 0;
    if (!wholeNumber(text.substr(colon + 1), 0, 65535, port)) {
        error = "the port in --listen " + text + " must be a number from 1 to 65535, or 0 for any free one";
        return false;
    }
    address = {host, port};
    return true;
}

bool reachableFromNetwork(const std::string& host)
{
    return !(startsWith(host, "127.") || host == "localhost" || host == "::1");
}

std::string makeToken()
{
    std::random_device source;
    std::string token;
    for (int i = 0; i < 4; ++i) token += fmt::format("{:08x}", static_cast<unsigned>(source()));
    return token;
}

bool tokenMatches(const std::string& given, const std::string& token)
{
    if (token.empty()) return false;
    unsigned difference = given.size() == token.size() ? 0 : 1;
    for (size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(token[i % token.size()]);
    }
    return difference == 0;
}

bool loopbackHost(const std::string& hostHeader)
{
    // The port is whatever follows the host: after "]" for an IPv6 address, else after a colon.
    const bool bracketed = startsWith(hostHeader, "[");
    const size_t hostEnd = bracketed ? hostHeader.find(']') + 1 : hostHeader.find(':');
    const std::string host = hostHeader.substr(0, hostEnd);
    const std::string rest = hostEnd == std::string::npos ? "" : hostHeader.substr(hostEnd);
    int port = 0;
    const bool portValid = rest.empty() || (rest[0] == ':' && wholeNumber(rest.substr(1), 1, 65535, port));
    return portValid && (host == "127.0.0.1" || host == "localhost" || host == "[::1]");
}

bool sameOrigin(const std::string& origin, const std::string& host)
{
    return origin.empty() || (!host.empty() && origin == "http://" + host);
}

MaybeRefusal readPulseLength(const nlohmann::json& body, PulseLength& length)
{
    int ms = 0;
    if (MaybeRefusal refusal = readNumber(body, "ms", "The pulse length in milliseconds", PulseLength::kShortestMs,
                                          PulseLength::kLongestMs, ms)) {
        return refusal;
    }
    length = PulseLength::fromField(static_cast<unsigned>(ms));
    return std::nullopt;
}

MaybeRefusal readDirection(const nlohmann::json& body, Direction& direction)
{
    const auto member = body.find("direction");
    const std::string name = member != body.end() && member->is_string() ? member->get<std::string>() : "";
    if (name.empty() || !directionNamed(name, direction)) {
        return badRequest("'" + name + "' is no direction: give north, south, east or west.");
    }
    return std::nullopt;
}

MaybeRefusal readPort(const nlohmann::json& body, int linkNumber, devices::PortChoice& port, bool indiTaken)
{
    const auto member = body.find("port");
    const std::string given = member != body.end() && member->is_string() ? member->get<std::string>() : "";
    if (MountUnderTest::namesIndiServer(given)) {
        if (!indiTaken) {
            return badRequest("The link test drives a serial or tcp:// mount; a mount behind an INDI server takes "
                              "the motion check.");
        }
        port = devices::PortChoice{};
        port.device = given;
        return std::nullopt;
    }
    devices::PortChoice choice;
    std::string error;
    if (!devices::choosePort(given, linkNumber, choice, error)) return badRequest(error + ".");
    // A network mount is reached by its address; anything else must be a serial device here.
    if (!startsWith(given, "tcp://")) {
        std::error_code ignored;
        if (!std::filesystem::is_character_file(choice.device, ignored)) {
            return badRequest(choice.device + " is not a serial device on this machine, nor a tcp://HOST:PORT address.");
        }
    }
    port = choice;
    return std::nullopt;
}

MaybeRefusal readMotionPlan(const nlohmann::json& body, motion::Plan& plan)
{
    motion::Plan read;
    if (MaybeRefusal refusal = readNumber(body, "pulses", "The pulses in each run", 1, 100, read.pulses)) return refusal;
    if (MaybeRefusal refusal = readNumber(body, "length_ms", "The length of each pulse in milliseconds",
                                          PulseLength::kShortestMs, PulseLength::kLongestMs, read.lengthMs)) {
        return refusal;
    }
    if (MaybeRefusal refusal = readNumber(body, "baseline_ms", "The baseline in milliseconds", 0, 600000,
                                          read.baselineMs)) {
        return refusal;
    }
    if (MaybeRefusal refusal = readNumber(body, "settle_ms", "The settling time in milliseconds", 0, 600000,
                                          read.settleMs)) {
        return refusal;
    }
    plan = read;
    return std::nullopt;
}

}  // namespace web
