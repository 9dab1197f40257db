// lx200-mount-sim: an LX200 mount on a serial line, for trying the guide-link tester without one.
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/serial_port_table.h"
#include "mount_simulator/CommandLine.h"
#include "mount_simulator/MountSimulator.h"
#include "mount_simulator/PtyMountLine.h"
#include "mount_simulator/TcpMountLine.h"
#include "mount_simulator/TranscriptPrinter.h"

namespace {

// The port number under which --device is opened; only the port table sees it.
constexpr int kDevicePort = 1;
// How often the main thread sends noise and looks at the clock and the line.
constexpr long kTickNs = 50L * 1000 * 1000;

// Prints where the simulator can be reached, as the first line, so scripts can read it.
std::unique_ptr<MountSimulator> openSimulator(const CommandLine& commandLine)
{
    const std::string& device = commandLine.device;
    std::string error;
    if (commandLine.tcp) {
        std::unique_ptr<TcpMountLine> line = TcpMountLine::listen(commandLine.tcpHost, commandLine.tcpPort, error);
        if (!line) {
            std::fprintf(stderr, "lx200-mount-sim: %s\n", error.c_str());
            return nullptr;
        }
        std::printf("Mount simulator listening on %s\n", line->address().c_str());
        return std::make_unique<MountSimulator>(std::move(line));
    }
    if (!device.empty()) {
        platform::mapSerialPort(kDevicePort, device);
        auto simulator = std::make_unique<MountSimulator>(kDevicePort);
        std::printf("Mount simulator serving %s\n", device.c_str());
        return simulator;
    }
    std::unique_ptr<PtyMountLine> line = PtyMountLine::open(error);
    if (!line) {
        std::fprintf(stderr, "lx200-mount-sim: no pseudo-terminal: %s\n", error.c_str());
        return nullptr;
    }
    std::printf("Mount simulator listening on %s\n", line->terminalPath().c_str());
    return std::make_unique<MountSimulator>(std::move(line));
}

}  // namespace

int main(int argc, char** argv)
{
    CommandLine commandLine;
    std::string error;
    switch (commandLine.parse(argc, argv, error)) {
    case CommandLine::Outcome::ShowHelp:
        std::fputs(CommandLine::helpText(), stdout);
        return 0;
    case CommandLine::Outcome::ShowVersion:
        std::puts("lx200-mount-sim " GUIDE_LINK_TESTER_VERSION);
        return 0;
    case CommandLine::Outcome::Invalid:
        std::fprintf(stderr, "lx200-mount-sim: %s\nTry 'lx200-mount-sim --help'.\n", error.c_str());
        return 2;
    case CommandLine::Outcome::Run:
        break;
    }

    // Blocked before any thread starts, so only the wait below ever takes these signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<MountSimulator> simulator = openSimulator(commandLine);
    if (!simulator) return 1;
    TranscriptPrinter transcript(stdout);
    simulator->setObserver(&transcript);
    simulator->setBehaviour(commandLine.behaviour);
    if (!simulator->start()) {
        std::fprintf(stderr, "lx200-mount-sim: cannot serve %s: it is missing, in use or not a serial line\n",
                     commandLine.device.c_str());
        return 1;
    }
    std::fflush(stdout);

    using Clock = std::chrono::steady_clock;
    const Clock::time_point began = Clock::now();
    unsigned noiseSeed = static_cast<unsigned>(began.time_since_epoch().count());
    std::size_t noiseSent = 0;
    std::string shownPosition;
    const timespec tick{0, kTickNs};
    while (sigtimedwait(&stopSignals, nullptr, &tick) < 0) {
        if (!simulator->serving()) {
            std::fprintf(stderr, "lx200-mount-sim: the line went away\n");
            return 1;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
        if (commandLine.dropAfterSeconds > 0 && seconds >= commandLine.dropAfterSeconds) {
            simulator->dropLine();
            std::printf("Line dropped after %.3f s, as if the cable were pulled.\n", seconds);
            return 0;
        }
        const auto noiseDue = static_cast<std::size_t>(seconds * commandLine.noiseBytesPerSecond);
        if (noiseDue > noiseSent) {
            simulator->sendNoise(noiseDue - noiseSent, noiseSeed++);
            noiseSent = noiseDue;
        }
        // Each time it changes, so whoever watches sees the mount move under the guide pulses.
        const std::string position = simulator->position();
        if (position != shownPosition) {
            transcript.positionChanged(seconds * 1000.0, position);
            shownPosition = position;
        }
    }
    simulator->stop();
    return 0;
}
