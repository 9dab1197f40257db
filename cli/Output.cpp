#include "cli/Output.h"

#include <fmt/format.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/WireText.h"

using Json = nlohmann::json;

namespace {

// Received bytes can be anything: the JSON carries them escaped, so it is always valid UTF-8.
std::string dump(const Json& object) { return object.dump(-1, ' ', false, Json::error_handler_t::replace); }

double roundedMs(double ms) { return std::round(ms * 10.0) / 10.0; }

Json pulseObject(const PulseReport& pulse)
{
    Json object = {{"direction", directionName(pulse.direction)},
                   {"asked_ms", pulse.askedMs},
                   {"requested_ms", pulse.requestedMs},
                   {"ticks", pulse.ticks},
                   {"lower_ms", pulse.bound.lowerMs},
                   {"upper_ms", pulse.bound.upperMs},
                   {"passed", pulse.passed}};
    object["measured_ms"] = pulse.measuredMs ? Json(roundedMs(*pulse.measuredMs)) : Json(nullptr);
    if (!pulse.problem.empty()) object["problem"] = pulse.problem;
    return object;
}

const char* verdict(const PulseReport& pulse)
{
    if (pulse.passed) return "ok";
    return pulse.measuredMs ? "OUT OF BOUND" : "FAILED";
}

std::string measured(const PulseReport& pulse)
{
    return pulse.measuredMs ? fmt::format("{:.1f} ms", *pulse.measuredMs) : std::string("-");
}

}  // namespace

Output::Output(bool json, std::FILE* out, std::FILE* err)
    : json_(json), out_(out), err_(err), origin_(Clock::now())
{
}

double Output::sinceStart(Clock::time_point at) const
{
    return roundedMs(std::chrono::duration<double, std::milli>(at - origin_).count());
}

void Output::line(const std::string& text)
{
    std::fputs(text.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void Output::begin(const std::string& command, const std::string& device, const std::string& mount)
{
    if (json_) {
        Json object = {{"event", "start"}, {"command", command}, {"port", device}};
        if (!mount.empty()) object["simulated_mount"] = mount;
        return line(dump(object));
    }
    if (!mount.empty()) line(fmt::format("Simulated mount ({}) at the other end of {}", mount, device));
    line(fmt::format("{}: {} at 9600 baud, 8 data bits, no parity, 1 stop bit", command, device));
}

void Output::event(const LinkEvent& event)
{
    const double t = sinceStart(event.at);
    switch (event.kind) {
    case LinkEvent::Kind::Status:
        if (json_) {
            return line(dump({{"event", "status"}, {"t_ms", t}, {"code", event.code},
                              {"text", wire::statusLine(event.code)}}));
        }
        if (traffic_) line(fmt::format("{:>10.1f} ms  status  {}", t, wire::statusLine(event.code)));
        return;
    case LinkEvent::Kind::Sent: {
        const double writeMs = std::chrono::duration<double, std::milli>(event.at - event.startedAt).count();
        if (json_) {
            return line(dump({{"event", "sent"}, {"t_ms", t}, {"text", event.bytes}, {"write_ms", roundedMs(writeMs)},
                              {"ok", event.ok}}));
        }
        if (traffic_) {
            line(fmt::format("{:>10.1f} ms  sent    {}{}", t, wire::quoted(event.bytes),
                             event.ok ? "" : fmt::format("  WRITE FAILED after {:.1f} ms", writeMs)));
        }
        return;
    }
    case LinkEvent::Kind::Received:
        if (json_) {
            return line(dump({{"event", "received"}, {"t_ms", t}, {"text", wire::escaped(event.bytes)},
                              {"hex", wire::hex(event.bytes)}, {"printable", wire::printable(event.bytes)}}));
        }
        if (traffic_) {
            line(fmt::format("{:>10.1f} ms  recv    {}{}", t, wire::quoted(event.bytes),
                             wire::printable(event.bytes) ? "" : "  hex: " + wire::hex(event.bytes)));
        }
        return;
    }
}

void Output::waiting(const std::string& what, double elapsedS, double limitS)
{
    if (json_) {
        return line(dump({{"event", "progress"}, {"waiting_for", what}, {"elapsed_s", std::round(elapsedS)},
                          {"limit_s", limitS}}));
    }
    line(fmt::format("              ...     waiting for {} ({:.0f} s of {:.0f})", what, elapsedS, limitS));
}

void Output::pulseDone(const PulseReport& pulse, int index, int total)
{
    if (json_) {
        Json object = pulseObject(pulse);
        object["event"] = "pulse";
        object["index"] = index;
        object["total"] = total;
        return line(dump(object));
    }
    std::string corrected;
    if (pulse.askedMs != pulse.requestedMs) corrected = fmt::format(" (corrected from {} ms)", pulse.askedMs);
    line(fmt::format("[{:>2}/{}] {:<5} {:>4} ms{} in {} ticks: measured {}, allowed {:.0f} to {:.0f} ms: {}{}", index,
                     total, directionName(pulse.direction), pulse.requestedMs, corrected, pulse.ticks, measured(pulse),
                     pulse.bound.lowerMs, pulse.bound.upperMs, verdict(pulse),
                     pulse.problem.empty() ? "" : " - " + pulse.problem));
}

void Output::pulseTable(const std::vector<PulseReport>& pulses, int allowanceMs, int slackMs)
{
    if (json_) return;
    line("");
    line(fmt::format("{:<9}{:>10}{:>7}{:>12}{:>17}   {}", "direction", "requested", "ticks", "measured", "allowed", "result"));
    for (const PulseReport& pulse : pulses) {
        line(fmt::format("{:<9}{:>7} ms{:>7}{:>12}{:>17}   {}", directionName(pulse.direction), pulse.requestedMs,
                         pulse.ticks, measured(pulse),
                         fmt::format("{:.0f} to {:.0f} ms", pulse.bound.lowerMs, pulse.bound.upperMs),
                         pulse.problem.empty() ? verdict(pulse) : pulse.problem));
    }
    line(fmt::format("Allowed: from one tick (100 ms) and {} ms short of the length the ticks make to {} ms over the request{}.",
                     PulseBound::kMeasurementJitterMs, allowanceMs, slackMs ? fmt::format(", widened by {} ms each way", slackMs) : ""));
}

void Output::result(const std::string& command, int exitCode, const std::string& outcome, const std::string& summary,
                    const std::vector<std::string>& details, const std::string& errorKind)
{
    if (json_) {
        Json object = {{"event", "result"}, {"command", command}, {"outcome", outcome}, {"exit_code", exitCode},
                       {"summary", summary}, {"details", details}};
        if (!errorKind.empty()) object["error_kind"] = errorKind;
        return line(dump(object));
    }
    std::string word = outcome;
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string text = fmt::format("{}: {}.\n", word, summary);
    for (const std::string& detail : details) text += "  " + detail + "\n";
    std::FILE* stream = errorKind.empty() ? out_ : err_;
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

void Output::error(const std::string& kind, const std::string& message)
{
    if (json_) return line(dump({{"event", "error"}, {"kind", kind}, {"message", message}}));
    std::fputs(fmt::format("guide-link: {}\n", message).c_str(), err_);
    std::fflush(err_);
}

void Output::port(const devices::Entry& entry)
{
    if (json_) {
        return line(dump({{"event", "port"}, {"device", entry.device}, {"stable_name", entry.stableName},
                          {"description", entry.description}, {"present", entry.present},
                          {"accessible", entry.accessible}}));
    }
    std::string state;
    if (!entry.present) {
        state = "  (missing)";
    } else if (!entry.accessible) {
        state = "  (no permission: join the 'dialout' group, 'uucp' on Arch)";
    }
    line(fmt::format("  {:<16} {}{}", entry.device, entry.description, state));
    if (!entry.stableName.empty()) line(fmt::format("  {:<16} stable name: {}", "", entry.stableName));
}

void Output::note(const std::string& text)
{
    if (json_) return line(dump({{"event", "note"}, {"text", text}}));
    line(text);
}
