#include "serve/WebTester.h"

#include <cmath>
#include <cstdio>

#include "platform/interrupt.h"
#include "tester/JsonReport.h"
#include "tester/MountUnderTest.h"
#include "tester/WireText.h"
#include "link/StatusCode.h"
#include "link/StatusText.h"

namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

// Enough of the transcript for a page opened in the middle of a session.
constexpr size_t kTranscriptKept = 400;

std::string dump(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The motion check's output, a JSON object a line, goes to every page as it is written.
class MotionLines {
public:
    explicit MotionLines(EventHub& hub) : hub(hub) {}

    std::FILE* open()
    {
        const cookie_io_functions_t functions{nullptr, &MotionLines::write, nullptr, nullptr};
        return fopencookie(this, "w", functions);
    }

private:
    static ssize_t write(void* cookie, const char* bytes, size_t size)
    {
        auto* self = static_cast<MotionLines*>(cookie);
        self->pending.append(bytes, size);
        for (size_t end; (end = self->pending.find('\n')) != std::string::npos;) {
            self->hub.publish("motion", self->pending.substr(0, end));
            self->pending.erase(0, end + 1);
        }
        return static_cast<ssize_t>(size);
    }

    EventHub& hub;
    std::string pending;
};

}  // namespace

WebTester::WebTester(EventHub& hub) : hub(hub), pumpThread([this] { pump(); }) {}

WebTester::~WebTester() { stop(); }

void WebTester::stop()
{
    std::thread motionLeft;
    {
        // Under the lock, so that no request starts a motion check once this has taken it.
        std::lock_guard<std::mutex> hold(mutex);
        stopping = true;
        motionStopAsked = true;
        motionLeft = std::move(motionThread);
    }
    if (motionLeft.joinable()) motionLeft.join();
    if (pumpThread.joinable()) pumpThread.join();
    std::lock_guard<std::mutex> hold(mutex);
    session.reset();
}

double WebTester::sinceStart(Clock::time_point at) const
{
    return std::round(std::chrono::duration<double, std::milli>(at - origin).count() * 10) / 10;
}

web::MaybeRefusal WebTester::busy() const
{
    if (stopping || !session) return web::Refusal{503, "guide-link is stopping."};
    if (motionRunning) return web::Refusal{409, "The motion check is running: wait for its verdict."};
    return std::nullopt;
}

web::MaybeRefusal WebTester::connect(const devices::PortChoice& port)
{
    std::lock_guard<std::mutex> hold(mutex);
    if (web::MaybeRefusal refusal = busy()) return refusal;
    // As the dialog does, a connect while connected is the link's to refuse ("Already connected").
    if (!portOpen) {
        devices::bindPort(port);
        device = port.device;
        // Taken from the request on, before the link says so, so that a motion check cannot
        // start on the same link number while the connect is on its way.
        portOpen = true;
    }
    session->connect(kPortNumber);
    return std::nullopt;
}

web::MaybeRefusal WebTester::disconnect()
{
    std::lock_guard<std::mutex> hold(mutex);
    if (web::MaybeRefusal refusal = busy()) return refusal;
    session->disconnect();
    return std::nullopt;
}

web::MaybeRefusal WebTester::pulse(Direction direction, const PulseLength& length)
{
    std::lock_guard<std::mutex> hold(mutex);
    if (web::MaybeRefusal refusal = busy()) return refusal;
    // The link writes nothing for a pulse while the port is closed, so there is nothing to list.
    if (portOpen) pulses.asked(direction, length);
    session->correction(direction, length.ticks());
    return std::nullopt;
}

web::MaybeRefusal WebTester::startMotion(const devices::PortChoice& port, const motion::Plan& plan)
{
    std::thread finished;
    {
        std::lock_guard<std::mutex> hold(mutex);
        if (web::MaybeRefusal refusal = busy()) return refusal;
        if (portOpen) return web::Refusal{409, "Disconnect first: the motion check opens the port itself."};
        motionRunning = true;
        motionStopAsked = false;
        device = port.device;
        // The check before this one has said its verdict; its thread is at most on its way out.
        finished = std::move(motionThread);
        motionThread = std::thread([this, port, plan] { runMotion(port, plan); });
    }
    if (finished.joinable()) finished.join();
    publishState();
    return std::nullopt;
}

web::MaybeRefusal WebTester::stopMotion()
{
    std::lock_guard<std::mutex> hold(mutex);
    if (!motionRunning) return web::Refusal{409, "No motion check is running."};
    motionStopAsked = true;
    return std::nullopt;
}

void WebTester::runMotion(devices::PortChoice port, motion::Plan plan)
{
    // Stop ends the check as Ctrl-C would: the halt and every stop, then a last reading.
    const interrupt::ThreadStop stopButton(motionStopAsked);
    const bool behindIndi = MountUnderTest::namesIndiServer(port.device);
    if (!behindIndi) devices::bindPort(port);
    MotionLines lines(hub);
    if (std::FILE* stream = lines.open()) {
        {
            JsonReport report(stream);
            report.begin("motion", port.device, "");
            std::string error;
            const std::unique_ptr<MountUnderTest> mount = behindIndi
                                                              ? MountUnderTest::behindIndi(port.device, report, error)
                                                              : MountUnderTest::reachedBy(port, report);
            if (mount) {
                Tester(report, *mount, Tester::Settings{}).motion(plan);
            } else {
                report.result("motion", kExitCannotStart, "error", error, {}, "indi");
            }
        }
        std::fclose(stream);
    } else {
        hub.publish("motion", dump({{"event", "result"}, {"command", "motion"}, {"outcome", "error"},
                                    {"exit_code", kExitCannotStart}, {"summary", "the check could not start"},
                                    {"details", Json::array()}}));
    }
    {
        std::lock_guard<std::mutex> hold(mutex);
        motionRunning = false;
    }
    publishState();
}

void WebTester::pump()
{
    while (!stopping) {
        const std::optional<LinkEvent> event = session->next(100ms);
        if (!event) continue;
        note(*event);
        measure(*event);
    }
}

void WebTester::note(const LinkEvent& event)
{
    Json line = {{"t_ms", sinceStart(event.at)}};
    switch (event.kind) {
    case LinkEvent::Kind::Status:
        line["kind"] = "status";
        line["text"] = wire::statusLine(event.code);
        break;
    case LinkEvent::Kind::Sent:
        line["kind"] = "sent";
        line["ok"] = event.ok;
        break;
    case LinkEvent::Kind::Received:
        line["kind"] = "received";
        break;
    }
    if (event.kind != LinkEvent::Kind::Status) {
        line["text"] = wire::escaped(event.bytes);
        line["hex"] = wire::printable(event.bytes) ? "" : wire::hex(event.bytes);
    }
    bool stateChanged = false;
    {
        std::lock_guard<std::mutex> hold(mutex);
        transcript.push_back(line);
        if (transcript.size() > kTranscriptKept) transcript.pop_front();
        if (event.kind == LinkEvent::Kind::Status && statusText(event.code) != nullptr) {
            status = event.code;
            const StatusCode code = static_cast<StatusCode>(event.code);
            if (code == StatusCode::Connecting) portOpen = true;
            if (code == StatusCode::CannotOpenPort || code == StatusCode::Timeout ||
                code == StatusCode::ConnectionClosed) {
                portOpen = false;
                pulses.clear();
            }
            stateChanged = true;
        }
    }
    hub.publish("line", dump(line));
    if (stateChanged) publishState();
}

void WebTester::measure(const LinkEvent& event)
{
    if (event.kind != LinkEvent::Kind::Sent) return;
    std::optional<Json> ended;
    {
        std::lock_guard<std::mutex> hold(mutex);
        ended = pulses.written(event.bytes, event.ok, event.at);
    }
    if (ended) hub.publish("pulse", dump(*ended));
}

Json WebTester::stateLocked() const
{
    return {{"status", status}, {"status_text", status ? wire::statusLine(status) : ""}, {"port_open", portOpen},
            {"port", device}, {"motion_running", motionRunning}};
}

Json WebTester::state() const
{
    std::lock_guard<std::mutex> hold(mutex);
    Json whole = stateLocked();
    whole["transcript"] = Json::array();
    for (const Json& line : transcript) whole["transcript"].push_back(line);
    whole["pulse_length"] = {{"shortest_ms", PulseLength::kShortestMs}, {"longest_ms", PulseLength::kLongestMs},
                             {"step_ms", PulseLength::kMsPerTick}};
    return whole;
}

void WebTester::publishState()
{
    Json now;
    {
        std::lock_guard<std::mutex> hold(mutex);
        now = stateLocked();
    }
    hub.publish("state", dump(now));
}
