#include "cli/TextReport.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>

#include "tester/MotionVerdict.h"
#include "tester/WireText.h"
#include "lx200/PositionText.h"
#include "platform/network_address.h"
#include "tester/MountUnderTest.h"

namespace {

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

TextReport::TextReport(std::FILE* out, std::FILE* err) : out_(out), err_(err), origin_(Clock::now()) {}

double TextReport::sinceStart(Clock::time_point at) const
{
    return std::chrono::duration<double, std::milli>(at - origin_).count();
}

void TextReport::line(const std::string& text)
{
    std::fputs(text.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void TextReport::begin(const std::string& command, const std::string& device, const std::string& mount)
{
    if (!mount.empty()) line(fmt::format("Simulated mount ({}) at the other end of {}", mount, device));
    if (MountUnderTest::namesIndiServer(device)) {
        return line(fmt::format("{}: {} through its INDI server and driver, with the driver's own settings", command,
                                device));
    }
    if (platform::namesNetworkLine(device)) {
        return line(fmt::format("{}: {} over TCP; baud rate and framing do not apply", command, device));
    }
    line(fmt::format("{}: {} at 9600 baud, 8 data bits, no parity, 1 stop bit", command, device));
}

void TextReport::event(const LinkEvent& event)
{
    const double t = sinceStart(event.at);
    switch (event.kind) {
    case LinkEvent::Kind::Status:
        if (traffic_) line(fmt::format("{:>10.1f} ms  status  {}", t, wire::statusLine(event.code)));
        return;
    case LinkEvent::Kind::Sent: {
        const double writeMs = std::chrono::duration<double, std::milli>(event.at - event.startedAt).count();
        if (traffic_) {
            line(fmt::format("{:>10.1f} ms  sent    {}{}", t, wire::quoted(event.bytes),
                             event.ok ? "" : fmt::format("  WRITE FAILED after {:.1f} ms", writeMs)));
        }
        return;
    }
    case LinkEvent::Kind::Received:
        if (traffic_) {
            line(fmt::format("{:>10.1f} ms  recv    {}{}", t, wire::quoted(event.bytes),
                             wire::printable(event.bytes) ? "" : "  hex: " + wire::hex(event.bytes)));
        }
        return;
    }
}

void TextReport::waiting(const std::string& what, double elapsedS, double limitS)
{
    line(fmt::format("              ...     waiting for {} ({:.0f} s of {:.0f})", what, elapsedS, limitS));
}

void TextReport::pulseDone(const PulseReport& pulse, int index, int total)
{
    std::string corrected;
    if (pulse.askedMs != pulse.requestedMs) corrected = fmt::format(" (corrected from {} ms)", pulse.askedMs);
    if (pulse.timing == PulseTiming::ByMount) {
        return line(fmt::format("[{:>2}/{}] {:<5} {:>4} ms{} timed by the mount: its length cannot be measured on the "
                                "line; the stop sent anyway after {}, allowed {:.0f} to {:.0f} ms: {}{}",
                                index, total, directionName(pulse.direction), pulse.requestedMs, corrected,
                                measured(pulse), pulse.bound.lowerMs, pulse.bound.upperMs, verdict(pulse),
                                pulse.problem.empty() ? "" : " - " + pulse.problem));
    }
    // A pulse timed elsewhere (by an INDI driver) has no ticks.
    const std::string timed = pulse.ticks > 0 ? fmt::format("in {} ticks", pulse.ticks) : "timed by the driver";
    line(fmt::format("[{:>2}/{}] {:<5} {:>4} ms{} {}: measured {}, allowed {:.0f} to {:.0f} ms: {}{}", index, total,
                     directionName(pulse.direction), pulse.requestedMs, corrected, timed, measured(pulse),
                     pulse.bound.lowerMs, pulse.bound.upperMs, verdict(pulse),
                     pulse.problem.empty() ? "" : " - " + pulse.problem));
}

void TextReport::pulseTable(const std::vector<PulseReport>& pulses, int allowanceMs, int slackMs, PulseTiming timing)
{
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
    if (!pulses.empty() && pulses.front().ticks == 0) {
        return line("Allowed: the length, give or take the driver's polling period and the time its reports take "
                    "to arrive.");
    }
    line(fmt::format("Allowed: from {} ms short of the length the ticks make to {} ms over it{}.",
                     PulseBound::kMeasurementJitterMs, allowanceMs, slackMs ? fmt::format(", widened by {} ms each way", slackMs) : ""));
}

void TextReport::result(const std::string& /*command*/, int /*exitCode*/, const std::string& outcome,
                        const std::string& summary, const std::vector<std::string>& details,
                        const std::string& errorKind)
{
    std::string word = outcome;
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string text = fmt::format("{}: {}.\n", word, summary);
    for (const std::string& detail : details) text += "  " + detail + "\n";
    std::FILE* stream = errorKind.empty() ? out_ : err_;
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

void TextReport::error(const std::string& /*kind*/, const std::string& message)
{
    std::fputs(fmt::format("guide-link: {}\n", message).c_str(), err_);
    std::fflush(err_);
}

void TextReport::port(const devices::Entry& entry)
{
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

void TextReport::note(const std::string& text) { line(text); }

namespace {

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

}  // namespace

void TextReport::motionPlan(int pulses, int lengthMs, PulseTiming timing, bool compareMountTimed)
{
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

void TextReport::motionBaseline(const motion::Baseline& baseline)
{
    line(fmt::format("Baseline, no pulse: the right ascension crept {:.2f} s per second: {}; the declination strayed "
                     "{:.0f}\" between readings. Pointing {}.", baseline.creep, motion::trackingText(baseline),
                     baseline.noiseArcsec, motion::sideOfMeridian(baseline)));
}

void TextReport::motionCreep(const motion::Baseline& baseline, double seconds)
{
    line(fmt::format("Over the {:.0f} s without a right ascension pulse, the right ascension crept {:.3f} s per "
                     "second: {}. This creep is taken out of the right ascension's figures.", seconds, baseline.creep,
                     motion::trackingText(baseline)));
}

void TextReport::motionRun(const motion::Run& run, const motion::RunFigures& figures, int index)
{
    const std::string role = motion::roleName(run.role);
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

void TextReport::motionTable(const std::vector<motion::Run>& runs, const motion::Baseline& baseline,
                             const std::optional<motion::Backlash>& backlash)
{
    const std::optional<motion::AxisRate> declination = motion::axisRateOf(runs, baseline, true);
    const std::optional<motion::AxisRate> rightAscension = motion::axisRateOf(runs, baseline, false);
    const std::optional<motion::AxisRate> mountTimedDeclination =
        motion::axisRateOf(runs, baseline, true, motion::Run::Role::MountTimed);
    const std::optional<motion::AxisRate> mountTimedRightAscension =
        motion::axisRateOf(runs, baseline, false, motion::Run::Role::MountTimed);
    const bool mountTimedRan = motion::mountTimedRan(runs);
    double mostArcsec = 0;
    for (const motion::Run& run : runs) mostArcsec += run.mostArcsec;
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
