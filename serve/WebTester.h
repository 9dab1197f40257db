#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>

#include "tester/LinkSession.h"
#include "platform/serial_devices.h"
#include "tester/Tester.h"
#include "serve/EventHub.h"
#include "serve/PulseLedger.h"
#include "serve/Refusal.h"
#include "link/PulseLength.h"

// The dialog's test and the motion check for guide-link serve. The dialog's test runs on a link
// that lives as long as the server, so a page that goes away leaves its pulse to the link's own
// countdown; the motion check runs on a link of its own, as guide-link motion does. Everything
// the link does goes to every page as events: "status", "line" (the transcript), "pulse" (a
// pulse's measured length), "motion" (the check's JSON lines) and "state".
class WebTester {
public:
    explicit WebTester(EventHub& hub);
    ~WebTester();
    WebTester(const WebTester&) = delete;
    WebTester& operator=(const WebTester&) = delete;

    // The link's port number for the device the page chose.
    static constexpr int kPortNumber = 1;

    web::MaybeRefusal connect(const devices::PortChoice& port);
    web::MaybeRefusal disconnect();
    web::MaybeRefusal pulse(Direction direction, const PulseLength& length);
    web::MaybeRefusal startMotion(const devices::PortChoice& port, const motion::Plan& plan);
    // Ends the running motion check as an interrupt does, sending the halt and every stop.
    web::MaybeRefusal stopMotion();

    // Waits for a motion check to end (Ctrl-C ends it), then shuts the link down, which sends
    // the stop of a pulse still running at once; requests after that are refused.
    void stop();

    // What a page shows when it opens: the status, the port, the transcript so far.
    nlohmann::json state() const;

private:
    using Clock = LinkEvent::Clock;

    void pump();
    void note(const LinkEvent& event);
    void measure(const LinkEvent& event);
    void runMotion(devices::PortChoice port, motion::Plan plan);
    nlohmann::json stateLocked() const;
    void publishState();
    // Refuses while the motion check runs, or once the link is shut down.
    web::MaybeRefusal busy() const;
    double sinceStart(Clock::time_point at) const;

    EventHub& hub;
    const Clock::time_point origin = Clock::now();

    mutable std::mutex mutex;  // guards all below but pumpThread
    int status = 0;
    bool portOpen = false;
    std::string device;
    PulseLedger pulses;
    bool motionRunning = false;
    std::deque<nlohmann::json> transcript;  // the latest lines, for pages that open later

    std::atomic<bool> stopping{false};  // set under the lock
    std::thread motionThread;           // started and taken under the lock
    std::atomic<bool> motionStopAsked{false};

    std::unique_ptr<LinkSession> session = std::make_unique<LinkSession>();
    std::thread pumpThread;
};
