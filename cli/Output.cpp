#include "cli/Output.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/WireText.h"
#include "lx200/PositionText.h"
#include "platform/network_address.h"

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
        object["line"] = platform::namesNetworkLine(device) ? "tcp" : "serial";
        return line(dump(object));
    }
    if (!mount.empty()) line(fmt::format("Simulated mount ({}) at the other end of {}", mount, device));
    if (platform::namesNetworkLine(device)) {
        return line(fmt::format("{}: {} over TCP; baud rate and framing do not apply", command, device));
    }
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
    line(fmt::format("Allowed: from {} ms short of the length the ticks make to {} ms over the request{}.",
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
                          {"description", entry.description}, {"maker", entry.maker}, {"product", entry.product},
                          {"serial_number", entry.serialNumber}, {"usb_id", entry.usbId},
                          {"present", entry.present}, {"accessible", entry.accessible}}));
    }
    std::string state;
    if (!entry.present) {
        state = "  (missing)";
    } else if (!entry.accessible) {
        state = "  (no permission: join the 'dialout' group, 'uucp' on Arch)";
    }
    // FTDI FT232R USB UART, serial A12345 (0403:6001)
    std::string identity = entry.maker;
    if (!entry.product.empty()) identity += (identity.empty() ? "" : " ") + entry.product;
    if (!entry.serialNumber.empty()) identity += (identity.empty() ? "serial " : ", serial ") + entry.serialNumber;
    if (!entry.usbId.empty()) identity += (identity.empty() ? "" : " ") + ("(" + entry.usbId + ")");
    line(fmt::format("  {:<16} {}{}{}", entry.device, entry.description, identity.empty() ? "" : ": " + identity,
                     state));
    if (!entry.stableName.empty()) line(fmt::format("  {:<16} stable name: {}", "", entry.stableName));
}

void Output::note(const std::string& text)
{
    if (json_) return line(dump({{"event", "note"}, {"text", text}}));
    line(text);
}

namespace {

// At the guide rate most mounts use, for the safety note.
constexpr double kUsualGuideRate = 0.5;
// Fewer steps of a reading than this in a run make rough figures.
constexpr double kFewSteps = 6;

const char* runRole(const motion::Run& run)
{
    if (run.afterReversal) return "after south: backlash";
    if (!run.judged) return "takes up the slack";
    return run.direction == Direction::North ? "after north" : "";
}

std::string arcseconds(double value, double resolution)
{
    // A motion below half an arcsecond shows as 0, never as -0.
    const double shown = std::round(value) == 0 ? 0.0 : value;
    return fmt::format("{:.0f}\" +-{:.0f}\"", shown, std::ceil(resolution));
}

std::string rate(const motion::RunFigures& figures)
{
    // The resolution rounded up, so a fine one never shows as none.
    return fmt::format("{:.2f}x +-{:.2f}", figures.rate, std::ceil(figures.rateResolution * 100) / 100);
}

const char* way(const motion::RunFigures& figures)
{
    if (!figures.moved) return "did not move";
    return figures.expectedWay ? "expected way" : "REVERSED";
}

}  // namespace

void Output::motionPlan(int runs, int pulses, int lengthMs)
{
    const double pulseSeconds = runs * pulses * lengthMs / 1000.0;
    // Two runs each way on the declination; one on the right ascension.
    const double arcminutes = 2 * pulses * lengthMs / 1000.0 * kUsualGuideRate * sky::kSiderealArcsecondsPerSecond / 60;
    if (json_) {
        return line(dump({{"event", "plan"}, {"runs", runs}, {"pulses", pulses}, {"length_ms", lengthMs},
                          {"pulse_s", pulseSeconds}}));
    }
    line(fmt::format("motion moves the mount by guide pulses only: {} runs of {} x {} ms (south twice, north twice, "
                     "east, west), {:.0f} s of pulses. At a guide rate of {}x sidereal that is at most {:.1f} "
                     "arcminutes from where it began, and it ends about there.",
                     runs, pulses, lengthMs, pulseSeconds, kUsualGuideRate, arcminutes));
    line("The position is read through the link's handshake (:GR#, :GD#), reconnecting for each reading.");
    const double timeSteps = pulses * lengthMs / 1000.0 * kUsualGuideRate * sky::kSiderealSecondsPerSecond;
    if (timeSteps < kFewSteps) {
        line(fmt::format("Each run moves the right ascension only about {:.0f} s at {}x sidereal, in steps of 1 s: "
                         "give more or longer pulses for sure figures.", timeSteps, kUsualGuideRate));
    }
}

void Output::motionBaseline(double creep, bool notTracking)
{
    if (json_) return line(dump({{"event", "baseline"}, {"creep_s_per_s", creep}, {"tracking", !notTracking}}));
    line(fmt::format("Baseline, no pulse: the right ascension crept {:.2f} s per second: {}.", creep,
                     notTracking ? "NOT TRACKING (taken out of every figure below)" : "tracking"));
}

void Output::motionRun(const motion::Run& run, const motion::RunFigures& figures, int index, int total)
{
    if (json_) {
        // Where the mount was before the run, right after it and after the settling time, for a plot.
        const auto reading = [this](const PositionReading& at) {
            return Json{{"ra_s", at.rightAscension}, {"ra_t_ms", sinceStart(at.rightAscensionAt)},
                        {"dec_arcsec", at.declination}, {"dec_t_ms", sinceStart(at.declinationAt)}};
        };
        return line(dump({{"event", "run"}, {"index", index}, {"total", total},
                          {"direction", directionName(run.direction)}, {"judged", run.judged},
                          {"after_reversal", run.afterReversal}, {"pulses", run.pulses}, {"length_ms", run.lengthMs},
                          {"commanded_ms", run.pulses * run.lengthMs}, {"measured_ms", roundedMs(run.measuredMs)},
                          {"motion_arcsec", figures.motionArcsec}, {"resolution_arcsec", figures.resolutionArcsec},
                          {"rate", figures.rate}, {"rate_resolution", figures.rateResolution},
                          {"moved", figures.moved}, {"expected_way", figures.expectedWay},
                          {"after_stop_arcsec", figures.afterStopArcsec}, {"runaway", figures.runaway},
                          {"readings", {reading(run.before), reading(run.after), reading(run.later)}}}));
    }
    const std::string role = runRole(run);
    line(fmt::format("[{}/{}] {}{}: {} x {} ms, {:.1f} ms on the line: moved {} at {} sidereal, {}; after the stop "
                     "{}{}", index, total, directionName(run.direction), role.empty() ? "" : " (" + role + ")",
                     run.pulses, run.lengthMs, run.measuredMs, arcseconds(figures.motionArcsec, figures.resolutionArcsec),
                     rate(figures), way(figures), arcseconds(figures.afterStopArcsec, figures.resolutionArcsec),
                     figures.runaway ? ": STILL MOVING" : ""));
}

void Output::motionTable(const std::vector<motion::Run>& runs, double creepTakenOut,
                         const std::optional<motion::Backlash>& backlash)
{
    if (json_) {
        if (backlash) {
            line(dump({{"event", "backlash"}, {"arcsec", backlash->arcsec},
                       {"resolution_arcsec", backlash->resolutionArcsec}}));
        }
        return;
    }
    const bool anyJudged = std::any_of(runs.begin(), runs.end(), [](const motion::Run& run) { return run.judged; });
    line("");
    if (anyJudged) line(fmt::format("{:<9}{:>11}{:>13}{:>16}{:>16}   {}", "direction", "commanded", "on the line", "on the sky",
                     "rate (sidereal)", "way"));
    for (const motion::Run& run : runs) {
        if (!run.judged) continue;
        const motion::RunFigures figures = motion::figuresOf(run, creepTakenOut);
        line(fmt::format("{:<9}{:>8} ms{:>10.1f} ms{:>16}{:>16}   {}", directionName(run.direction),
                         run.pulses * run.lengthMs, run.measuredMs,
                         arcseconds(figures.motionArcsec, figures.resolutionArcsec), rate(figures), way(figures)));
    }
    if (backlash) {
        line(fmt::format("Declination backlash: {} (north after south against north after north).",
                         arcseconds(backlash->arcsec, backlash->resolutionArcsec)));
    }
    line("Resolution: 1\" of declination, 1 s of right ascension (15\" times the cosine of the declination).");
}
