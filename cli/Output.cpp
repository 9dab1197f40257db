#include "cli/Output.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/MotionVerdict.h"
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
                   {"passed", pulse.passed},
                   {"timed_by", pulseTimingName(pulse.timing)}};
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
    if (pulse.timing == PulseTiming::ByMount) {
        return line(fmt::format("[{:>2}/{}] {:<5} {:>4} ms{} timed by the mount: its length cannot be measured on the "
                                "line; the stop sent anyway after {}, allowed {:.0f} to {:.0f} ms: {}{}",
                                index, total, directionName(pulse.direction), pulse.requestedMs, corrected,
                                measured(pulse), pulse.bound.lowerMs, pulse.bound.upperMs, verdict(pulse),
                                pulse.problem.empty() ? "" : " - " + pulse.problem));
    }
    line(fmt::format("[{:>2}/{}] {:<5} {:>4} ms{} in {} ticks: measured {}, allowed {:.0f} to {:.0f} ms: {}{}", index,
                     total, directionName(pulse.direction), pulse.requestedMs, corrected, pulse.ticks, measured(pulse),
                     pulse.bound.lowerMs, pulse.bound.upperMs, verdict(pulse),
                     pulse.problem.empty() ? "" : " - " + pulse.problem));
}

void Output::pulseTable(const std::vector<PulseReport>& pulses, int allowanceMs, int slackMs, PulseTiming timing)
{
    if (json_) return;
    line("");
    if (timing == PulseTiming::ByMount) {
        line("Timed by the mount (:Mg): 'measured' is when guide-link's own stop went out, after the pulse's time "
             "and half as much again; what each pulse lasted cannot be measured on the line.");
    }
    line(fmt::format("{:<9}{:>10}{:>7}{:>12}{:>17}   {}", "direction", "requested", "ticks", "measured", "allowed", "result"));
    for (const PulseReport& pulse : pulses) {
        line(fmt::format("{:<9}{:>7} ms{:>7}{:>12}{:>17}   {}", directionName(pulse.direction), pulse.requestedMs,
                         pulse.ticks, measured(pulse),
                         fmt::format("{:.0f} to {:.0f} ms", pulse.bound.lowerMs, pulse.bound.upperMs),
                         pulse.problem.empty() ? verdict(pulse) : pulse.problem));
    }
    line(fmt::format("Allowed: from {} ms short of the length the ticks make to {} ms over it{}.",
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

const char* roleName(motion::Run::Role role)
{
    switch (role) {
    case motion::Run::Role::Probe:
        return "probe";
    case motion::Run::Role::TakesUpSlack:
        return "takes up the slack";
    case motion::Run::Role::AfterReversal:
        return "after south: backlash";
    case motion::Run::Role::Sizing:
        return "sizes the next";
    case motion::Run::Role::MountTimed:
        return "mount-timed";
    case motion::Run::Role::Judged:
        break;
    }
    return "";
}

std::string arcseconds(double value, double margin)
{
    // A motion below half an arcsecond shows as 0, never as -0.
    const double shown = std::round(value) == 0 ? 0.0 : value;
    return fmt::format("{:.0f}\" +-{:.0f}\"", shown, std::ceil(margin));
}

std::string rate(double value, double margin)
{
    // The margin rounded up, so a fine one never shows as none.
    return fmt::format("{:.2f}x +-{:.2f}", value, std::ceil(margin * 100) / 100);
}

const char* way(const motion::Run& run, const motion::RunFigures& figures)
{
    // A probe or a sizing run is too short to judge; it only bounds the rate.
    const bool bounds = run.role == motion::Run::Role::Probe || run.role == motion::Run::Role::Sizing;
    if (!figures.moved) return bounds ? "within the margin" : "did not move";
    return figures.expectedWay ? "expected way" : "REVERSED";
}

const char* trackingKind(motion::Tracking tracking)
{
    const char* names[] = {"sidereal", "stopped", "backwards", "wrong rate"};
    return names[static_cast<int>(tracking)];
}

}  // namespace

void Output::motionPlan(int pulses, int lengthMs, PulseTiming timing, bool compareMountTimed)
{
    if (json_) {
        return line(dump({{"event", "plan"}, {"pulses", pulses}, {"length_ms", lengthMs},
                          {"probe_ms", motion::kProbeMs}, {"run_budget_arcsec", motion::kRunBudgetArcsec},
                          {"max_guide_rate", motion::kMaxGuideRate},
                          {"timed_by", compareMountTimed ? "both" : pulseTimingName(timing)}}));
    }
    line(fmt::format("motion moves the mount by guide pulses only. It reads the position with no pulse, then sends "
                     "one {} ms probe pulse before any run in a direction and reads how far it went: a mount faster "
                     "than any guide rate ({:.0f}x sidereal) is stopped there (a mount at a slew rate of 8 degrees a "
                     "second moves about 1.6 degrees in a probe). Each run, at most {} x {} ms, is then sized from "
                     "the rate measured so far so that it moves the mount at most {:.0f} arcminutes; each run line "
                     "says how far it could go, and motion ends about where it began.",
                     motion::kProbeMs, motion::kMaxGuideRate, pulses, lengthMs, motion::kRunBudgetArcsec / 60));
    line("The position is read through the link's handshake (:GR#, :GD#), reconnecting for each reading.");
    if (timing == PulseTiming::ByMount) {
        line("Every pulse is timed by the mount (:Mg); guide-link sends its stop anyway once the pulse's time and "
             "half as much again are up, and figures each run from the time the mount was told.");
    }
    if (compareMountTimed) {
        line("Then each direction's judged pulses are sent once more, timed by the mount (:Mg), and the two kinds "
             "of pulses are compared.");
    }
}

void Output::motionBaseline(const motion::Baseline& baseline)
{
    const motion::Tracking tracking = motion::trackingOf(baseline);
    if (json_) {
        return line(dump({{"event", "baseline"}, {"creep_s_per_s", baseline.creep},
                          {"creep_uncertainty", baseline.creepUncertainty},
                          {"tracking_rate", baseline.trackingRate()}, {"tracking", trackingKind(tracking)},
                          {"noise_arcsec", baseline.noiseArcsec}, {"hour_angle_h", baseline.hourAngle / 3600},
                          {"side", baseline.hourAngle >= 0 ? "west" : "east"}}));
    }
    line(fmt::format("Baseline, no pulse: the right ascension crept {:.2f} s per second: {}; the declination strayed "
                     "{:.0f}\" between readings. Pointing {}.", baseline.creep, motion::trackingText(baseline),
                     baseline.noiseArcsec, motion::sideOfMeridian(baseline)));
}

void Output::motionCreep(const motion::Baseline& baseline, double seconds)
{
    if (json_) {
        return line(dump({{"event", "creep"}, {"seconds", seconds}, {"creep_s_per_s", baseline.creep},
                          {"creep_uncertainty", baseline.creepUncertainty},
                          {"tracking_rate", baseline.trackingRate()},
                          {"tracking", trackingKind(motion::trackingOf(baseline))}}));
    }
    line(fmt::format("Over the {:.0f} s without a right ascension pulse, the right ascension crept {:.3f} s per "
                     "second: {}. This creep is taken out of the right ascension's figures.", seconds, baseline.creep,
                     motion::trackingText(baseline)));
}

void Output::motionRun(const motion::Run& run, const motion::RunFigures& figures, int index)
{
    if (json_) {
        // Where the mount was before the run, right after it and after the settling time, for a plot.
        const auto reading = [this](const PositionReading& at) {
            return Json{{"ra_s", at.rightAscension}, {"ra_t_ms", sinceStart(at.rightAscensionAt)},
                        {"dec_arcsec", at.declination}, {"dec_t_ms", sinceStart(at.declinationAt)}};
        };
        return line(dump({{"event", "run"}, {"index", index}, {"direction", directionName(run.direction)},
                          {"role", run.judged() ? "judged" : roleName(run.role)}, {"judged", run.judged()},
                          {"after_reversal", run.role == motion::Run::Role::AfterReversal},
                          {"pulses", run.pulses}, {"length_ms", run.lengthMs},
                          {"commanded_ms", run.pulses * run.lengthMs}, {"measured_ms", roundedMs(run.measuredMs)},
                          {"line_ms", roundedMs(run.lineMs)}, {"timed_by", pulseTimingName(run.timing)},
                          {"most_arcsec", run.mostArcsec}, {"motion_arcsec", figures.motionArcsec},
                          {"margin_arcsec", figures.marginArcsec}, {"rate", figures.rate},
                          {"rate_margin", figures.rateMargin}, {"moved", figures.moved},
                          {"expected_way", figures.expectedWay}, {"too_fast", figures.tooFast},
                          {"after_stop_arcsec", run.later ? Json(figures.afterStopArcsec) : Json(nullptr)},
                          {"runaway", figures.runaway},
                          {"readings", {reading(run.before), reading(run.after),
                                        run.later ? reading(*run.later) : Json(nullptr)}}}));
    }
    const std::string role = roleName(run.role);
    const std::string most = run.mostArcsec > 0 ? fmt::format(" (at most {:.0f}\")", run.mostArcsec) : "";
    const std::string afterStop =
        run.later ? fmt::format("; after the stop {}{}", arcseconds(figures.afterStopArcsec, figures.marginArcsec),
                                figures.runaway ? ": STILL MOVING" : "")
                  : "";
    line(fmt::format("[{}] {}{}: {} x {} ms{}, {:.1f} ms on the line: moved {} at {} sidereal, {}{}{}", index,
                     directionName(run.direction), role.empty() ? "" : " (" + role + ")", run.pulses, run.lengthMs,
                     most, run.lineMs, arcseconds(figures.motionArcsec, figures.marginArcsec),
                     rate(figures.rate, figures.rateMargin), way(run, figures), afterStop,
                     figures.tooFast ? ": FASTER THAN ANY GUIDE RATE" : ""));
}

void Output::motionTable(const std::vector<motion::Run>& runs, const motion::Baseline& baseline,
                         const std::optional<motion::Backlash>& backlash)
{
    const std::optional<motion::AxisRate> declination = motion::axisRateOf(runs, baseline, true);
    const std::optional<motion::AxisRate> rightAscension = motion::axisRateOf(runs, baseline, false);
    const std::optional<motion::AxisRate> mountTimedDeclination =
        motion::axisRateOf(runs, baseline, true, motion::Run::Role::MountTimed);
    const std::optional<motion::AxisRate> mountTimedRightAscension =
        motion::axisRateOf(runs, baseline, false, motion::Run::Role::MountTimed);
    const bool mountTimedRan = std::any_of(runs.begin(), runs.end(), [](const motion::Run& run) {
        return run.role == motion::Run::Role::MountTimed;
    });
    double mostArcsec = 0;
    for (const motion::Run& run : runs) mostArcsec += run.mostArcsec;
    if (json_) {
        const auto axis = [](const std::optional<motion::AxisRate>& rate) {
            return rate ? Json{{"rate", rate->rate}, {"margin", rate->margin}} : Json(nullptr);
        };
        Json rates = {{"event", "rates"}, {"declination", axis(declination)}, {"right_ascension", axis(rightAscension)},
                      {"runs_most_arcsec", mostArcsec}};
        if (mountTimedRan) {
            rates["mount_timed"] = {{"declination", axis(mountTimedDeclination)},
                                    {"right_ascension", axis(mountTimedRightAscension)}};
        }
        line(dump(rates));
        if (backlash) {
            line(dump({{"event", "backlash"}, {"arcsec", backlash->arcsec}, {"margin_arcsec", backlash->marginArcsec}}));
        }
        return;
    }
    const bool anyJudged = std::any_of(runs.begin(), runs.end(), [](const motion::Run& run) { return run.judged(); });
    line("");
    if (anyJudged) line(fmt::format("{:<9}{:>11}{:>13}{:>16}{:>16}   {}", "direction", "commanded", "on the line",
                                    "on the sky", "rate (sidereal)", "way"));
    for (const motion::Run& run : runs) {
        if (!run.judged()) continue;
        const motion::RunFigures figures = motion::figuresOf(run, baseline);
        line(fmt::format("{:<9}{:>8} ms{:>10.1f} ms{:>16}{:>16}   {}", directionName(run.direction),
                         run.pulses * run.lengthMs, run.measuredMs,
                         arcseconds(figures.motionArcsec, figures.marginArcsec), rate(figures.rate, figures.rateMargin),
                         way(run, figures)));
    }
    const auto shown = [](const std::optional<motion::AxisRate>& axis) {
        return axis ? rate(axis->rate, axis->margin) + " sidereal" : std::string("not measured");
    };
    line(fmt::format("Guide rates: declination {}, right ascension {}.", shown(declination), shown(rightAscension)));
    if (mountTimedRan) {
        line(fmt::format("Mount-timed pulses (:Mg), side by side: declination {}, right ascension {}.",
                         shown(mountTimedDeclination), shown(mountTimedRightAscension)));
    }
    if (backlash) {
        line(fmt::format("Declination backlash: {} (north after south against north after north).",
                         arcseconds(backlash->arcsec, backlash->marginArcsec)));
    }
    line(fmt::format("The runs could move the mount at most {:.1f} arcminutes in all at the rates measured. Margins: "
                     "1\" of declination, 1 s of right ascension (15\" times the cosine of the declination), and twice "
                     "the reading noise.", mostArcsec / 60));
}

void Output::motionHalt(bool halted, std::optional<bool> stopped, double awayArcsec)
{
    if (!json_) return;  // the result's details say it in words
    line(dump({{"event", "halt"}, {"sent", halted}, {"stopped", stopped ? Json(*stopped) : Json(nullptr)},
               {"away_arcsec", awayArcsec}}));
}
