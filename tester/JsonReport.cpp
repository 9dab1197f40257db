#include "tester/JsonReport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/network_address.h"
#include "tester/MountUnderTest.h"
#include "tester/MotionVerdict.h"
#include "tester/WireText.h"

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

}  // namespace

JsonReport::JsonReport(std::FILE* out) : out_(out), origin_(Clock::now()) {}

double JsonReport::sinceStart(Clock::time_point at) const
{
    return roundedMs(std::chrono::duration<double, std::milli>(at - origin_).count());
}

void JsonReport::line(const std::string& text)
{
    std::fputs(text.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void JsonReport::begin(const std::string& command, const std::string& device, const std::string& mount)
{
    Json object = {{"event", "start"}, {"command", command}, {"port", device}};
    if (!mount.empty()) object["simulated_mount"] = mount;
    object["line"] = MountUnderTest::namesIndiServer(device) ? "indi"
                     : platform::namesNetworkLine(device)      ? "tcp"
                                                               : "serial";
    line(dump(object));
}

void JsonReport::event(const LinkEvent& event)
{
    const double t = sinceStart(event.at);
    switch (event.kind) {
    case LinkEvent::Kind::Status:
        return line(dump({{"event", "status"}, {"t_ms", t}, {"code", event.code},
                          {"text", wire::statusLine(event.code)}}));
    case LinkEvent::Kind::Sent: {
        const double writeMs = std::chrono::duration<double, std::milli>(event.at - event.startedAt).count();
        return line(dump({{"event", "sent"}, {"t_ms", t}, {"text", event.bytes}, {"write_ms", roundedMs(writeMs)},
                          {"ok", event.ok}}));
    }
    case LinkEvent::Kind::Received:
        return line(dump({{"event", "received"}, {"t_ms", t}, {"text", wire::escaped(event.bytes)},
                          {"hex", wire::hex(event.bytes)}, {"printable", wire::printable(event.bytes)}}));
    }
}

void JsonReport::waiting(const std::string& what, double elapsedS, double limitS)
{
    line(dump({{"event", "progress"}, {"waiting_for", what}, {"elapsed_s", std::round(elapsedS)}, {"limit_s", limitS}}));
}

void JsonReport::pulseDone(const PulseReport& pulse, int index, int total)
{
    Json object = pulseObject(pulse);
    object["event"] = "pulse";
    object["index"] = index;
    object["total"] = total;
    line(dump(object));
}

void JsonReport::result(const std::string& command, int exitCode, const std::string& outcome,
                        const std::string& summary, const std::vector<std::string>& details,
                        const std::string& errorKind)
{
    Json object = {{"event", "result"}, {"command", command}, {"outcome", outcome}, {"exit_code", exitCode},
                   {"summary", summary}, {"details", details}};
    if (!errorKind.empty()) object["error_kind"] = errorKind;
    line(dump(object));
}

void JsonReport::error(const std::string& kind, const std::string& message)
{
    line(dump({{"event", "error"}, {"kind", kind}, {"message", message}}));
}

void JsonReport::port(const devices::Entry& entry)
{
    line(dump({{"event", "port"}, {"device", entry.device}, {"stable_name", entry.stableName},
               {"description", entry.description}, {"maker", entry.maker}, {"product", entry.product},
               {"serial_number", entry.serialNumber}, {"usb_id", entry.usbId},
               {"present", entry.present}, {"accessible", entry.accessible}}));
}

void JsonReport::note(const std::string& text) { line(dump({{"event", "note"}, {"text", text}})); }

void JsonReport::motionPlan(int pulses, int lengthMs, PulseTiming timing, bool compareMountTimed)
{
    line(dump({{"event", "plan"}, {"pulses", pulses}, {"length_ms", lengthMs},
               {"probe_ms", motion::kProbeMs}, {"run_budget_arcsec", motion::kRunBudgetArcsec},
               {"max_guide_rate", motion::kMaxGuideRate},
               {"timed_by", compareMountTimed ? "both" : pulseTimingName(timing)}}));
}

void JsonReport::motionBaseline(const motion::Baseline& baseline)
{
    line(dump({{"event", "baseline"}, {"creep_s_per_s", baseline.creep},
               {"creep_uncertainty", baseline.creepUncertainty},
               {"tracking_rate", baseline.trackingRate()}, {"tracking", motion::trackingName(motion::trackingOf(baseline))},
               {"noise_arcsec", baseline.noiseArcsec}, {"hour_angle_h", baseline.hourAngle / 3600},
               {"side", baseline.hourAngle >= 0 ? "west" : "east"}}));
}

void JsonReport::motionCreep(const motion::Baseline& baseline, double seconds)
{
    line(dump({{"event", "creep"}, {"seconds", seconds}, {"creep_s_per_s", baseline.creep},
               {"creep_uncertainty", baseline.creepUncertainty},
               {"tracking_rate", baseline.trackingRate()},
               {"tracking", motion::trackingName(motion::trackingOf(baseline))}}));
}

void JsonReport::motionRun(const motion::Run& run, const motion::RunFigures& figures, int index)
{
    // Where the mount was before the run, right after it and after the settling time, for a plot.
    const auto reading = [this](const PositionReading& at) {
        return Json{{"ra_s", at.rightAscension}, {"ra_t_ms", sinceStart(at.rightAscensionAt)},
                    {"dec_arcsec", at.declination}, {"dec_t_ms", sinceStart(at.declinationAt)}};
    };
    line(dump({{"event", "run"}, {"index", index}, {"direction", directionName(run.direction)},
               {"role", run.judged() ? "judged" : motion::roleName(run.role)}, {"judged", run.judged()},
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

void JsonReport::motionTable(const std::vector<motion::Run>& runs, const motion::Baseline& baseline,
                             const std::optional<motion::Backlash>& backlash)
{
    const auto axis = [&](bool declination, motion::Run::Role role) {
        const std::optional<motion::AxisRate> rate = motion::axisRateOf(runs, baseline, declination, role);
        return rate ? Json{{"rate", rate->rate}, {"margin", rate->margin}} : Json(nullptr);
    };
    double mostArcsec = 0;
    for (const motion::Run& run : runs) mostArcsec += run.mostArcsec;
    Json rates = {{"event", "rates"}, {"declination", axis(true, motion::Run::Role::Judged)},
                  {"right_ascension", axis(false, motion::Run::Role::Judged)}, {"runs_most_arcsec", mostArcsec}};
    if (motion::mountTimedRan(runs)) {
        rates["mount_timed"] = {{"declination", axis(true, motion::Run::Role::MountTimed)},
                                {"right_ascension", axis(false, motion::Run::Role::MountTimed)}};
    }
    line(dump(rates));
    if (backlash) {
        line(dump({{"event", "backlash"}, {"arcsec", backlash->arcsec}, {"margin_arcsec", backlash->marginArcsec}}));
    }
}

void JsonReport::motionHalt(bool halted, std::optional<bool> stopped, double awayArcsec)
{
    line(dump({{"event", "halt"}, {"sent", halted}, {"stopped", stopped ? Json(*stopped) : Json(nullptr)},
               {"away_arcsec", awayArcsec}}));
}
