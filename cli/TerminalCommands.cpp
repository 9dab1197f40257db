#include "cli/TerminalCommands.h"

#include <climits>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

#include "cli/SimulatedMount.h"
#include "cli/TextReport.h"
#include "platform/serial_devices.h"
#include "tester/ExitCode.h"
#include "tester/JsonReport.h"
#include "tester/MountUnderTest.h"
#include "tester/Tester.h"

namespace {

// The port numbers under which POSIX binds devices in the link's port table.
constexpr int kLinkPortNumber = 1;
constexpr int kMountPortNumber = 2;

const char* const kFooter = R"(
Exit codes: 0 pass, 1 the mount or the line failed, 2 usage error or the port
could not be opened, 3 interrupted. Ctrl-C, SIGTERM or SIGHUP ends any command
within a moment: a running pulse is stopped first, then the port is closed.

Without a mount, try:

  $ guide-link --simulate check
  $ guide-link --simulate=wrong check
  $ guide-link --simulate series
  $ guide-link --simulate=backlash motion --pulses 2 --length 2000)";

// Reads a whole number of milliseconds, sign allowed; false for anything else or out of range.
bool readWholeNumber(const std::string& text, int& value)
{
    try {
        size_t used = 0;
        const long number = std::stol(text, &used);
        if (used != text.size() || number < INT_MIN || number > INT_MAX) return false;
        value = static_cast<int>(number);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Shows --simulate, a flag with an optional value, as --simulate[=KIND] rather than by its
// default.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override
    {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        const size_t brace = name.find('{');
        return brace == std::string::npos ? name : name.substr(0, brace) + "[=KIND]";
    }
};

int usageError(const std::string& message)
{
    std::fprintf(stderr, "guide-link: %s\nRun 'guide-link --help' for help.\n", message.c_str());
    return kExitCannotStart;
}

int listPorts(TestReport& report, bool json, const std::vector<std::string>& extraPorts)
{
    std::vector<devices::Entry> entries = devices::list(extraPorts);
    for (const std::string& address : MountUnderTest::indiTelescopesHere()) {
        entries.push_back(devices::plainEntry(address, "a telescope behind the INDI server on this machine", true));
    }
    if (!json) report.note(entries.empty() ? "No serial devices found." : "Serial devices on this machine:");
    for (const devices::Entry& entry : entries) report.port(entry);
    if (entries.empty()) {
        report.note("Plug in the USB-serial adapter or the mount's USB cable, then try again. On Linux, "
                    "'dmesg | tail' right after plugging it in tells what the system made of it.");
        return kExitFail;
    }
    if (!json) {
        const devices::Entry& first = entries.front();
        report.note("Check one with: guide-link check " + (first.stableName.empty() ? first.device : first.stableName));
        if (!first.stableName.empty()) {
            report.note("In scripts, give the stable name: it stays the same across reboots and replugging, while "
                        "the /dev/ttyUSB numbers can change.");
        }
    }
    return kExitPass;
}

}  // namespace

TerminalCommands::TerminalCommands(CLI::App& app)
{
    app.formatter(std::make_shared<HelpFormatter>());
    app.footer(kFooter);
    app.add_flag("--json", arguments.json, "print one JSON object per line, for scripts");
    app.add_flag("--transcript", arguments.transcript,
                 "series: also print every status and every byte on the line (check and pulse always do)");
    app.add_flag("--simulate{good}", arguments.simulate,
                 "test against a simulated mount instead: good (the default), silent, wrong, slow, or for motion "
                 "not-tracking, tracks-backwards, reversed-dec, dead-east, slow-west, backlash, no-stop, "
                 "lost-ra-stop, ignores-rg, separate-keys, noisy, short-format, ignores-mg or mg-untimed; several "
                 "combine, separated by "
                 "commas (noisy,dead-east)");
    app.add_option("--simulate-port", arguments.simulatePort,
                   "serve the simulated mount on this port (the far end of a null-modem pair), or over TCP "
                   "at tcp://HOST:PORT (port 0: any free one), instead of on a pseudo-terminal of its own");

    const std::string portHelp =
#ifdef _WIN32
        "the serial port, COM1 to COM255, or a mount on the network: tcp://HOST:PORT";
#else
        "the serial device, such as /dev/ttyUSB0 or a /dev/serial/by-id/ name, a mount on the network: "
        "tcp://HOST:PORT, or a mount behind an INDI server: indi://HOST[:PORT]/DEVICE (leave it out with "
        "--simulate)";
#endif

    check = app.add_subcommand("check", "open the port, run the link's handshake and show every byte");
    check->add_option("PORT", arguments.port, portHelp);

    // PORT is left out with --simulate, so the three are taken by how many there are.
    pulse = app.add_subcommand("pulse", "send one guide pulse and measure how long it lasted");
    pulse->add_option("PORT", arguments.pulseWords[0], portHelp);
    pulse->add_option("DIR", arguments.pulseWords[1], "north, south, east or west");
    pulse->add_option("MS", arguments.pulseWords[2],
                      "the pulse length: 200 to 5000 ms; shorter is raised to 200, longer cut to 5000");
    addPulseOptions(*pulse);

    series = app.add_subcommand("series", "pulse all four directions at several lengths and judge the timing");
    series->add_option("PORT", arguments.port, portHelp);
    series->add_option("--lengths", arguments.lengths, "the pulse lengths, ms")
        ->delimiter(',')
        ->check(CLI::Range(1, 100000))
        ->capture_default_str();
    addPulseOptions(*series);

    motion = app.add_subcommand(
        "motion", "measure how far each direction's pulses move the mount, from the position it reports, and "
                  "whether it stops");
    motion->add_option("PORT", arguments.port, portHelp);
    motion->add_option("--pulses", arguments.motion.pulses,
                       "pulses in each run at most: fewer where the measured rate would carry the mount too far")
        ->check(CLI::Range(1, 100))
        ->capture_default_str();
    motion->add_option("--length", arguments.motion.lengthMs,
                       "the length of each pulse at most, ms (200 to 5000): shorter where the measured rate would "
                       "carry the mount too far")
        ->check(CLI::Range(200, 5000))
        ->capture_default_str();
    motion->add_option("--baseline", arguments.motion.baselineMs,
                       "from the first to the last of the readings with no pulse, ms")
        ->check(CLI::Range(0, 600000))
        ->capture_default_str();
    motion->add_option("--settle", arguments.motion.settleMs,
                       "the least gap between the reading after a run and the one that shows the mount stopped, ms "
                       "(longer where the measured rate needs it to show a lost stop)")
        ->check(CLI::Range(0, 600000))
        ->capture_default_str();
    motion->add_option("--timed-by", arguments.motionTiming,
                       "pc: pulses timed by guide-link; mount: pulses the mount times itself (:Mg); both: pc, then "
                       "each direction's pulses again timed by the mount, and the two compared")
        ->check(CLI::IsMember({"pc", "mount", "both"}))
        ->capture_default_str();

    ports = app.add_subcommand("ports", "list the serial devices of this machine, and the telescopes of an INDI "
                                        "server running on it");
    ports->add_option("--extra-port", arguments.extraPorts,
                      std::string("list this device too (repeatable); ") + devices::kExtraPortsVariable +
                          " names more, separated as PATH is");
}

void TerminalCommands::addPulseOptions(CLI::App& command)
{
    command.add_option("--allowance", arguments.allowanceMs, "how much longer than its ticks make a pulse may last, ms")
        ->check(CLI::Range(0, 10000))
        ->capture_default_str();
    command.add_option("--slack", arguments.slackMs,
                       "widen the allowed range by this much both ways, ms, on a machine too busy to keep time")
        ->check(CLI::Range(0, 10000))
        ->capture_default_str();
    const std::map<std::string, PulseTiming> timings{{"pc", PulseTiming::ByPc}, {"mount", PulseTiming::ByMount}};
    command.add_option("--timed-by", arguments.timing,
                       "pc: guide-link times each pulse with a move and its stop (:Mn# ... :Qn#); mount: the mount "
                       "times it itself (:Mgn1000#), and guide-link sends the stop anyway once the time and half as "
                       "much again are up")
        ->transform(CLI::CheckedTransformer(timings))
        ->default_str("pc");
}

std::string TerminalCommands::readWords()
{
    arguments.motion.timing = arguments.motionTiming == "mount" ? PulseTiming::ByMount : PulseTiming::ByPc;
    arguments.motion.compareMountTimed = arguments.motionTiming == "both";
    if (!pulse->parsed()) return {};
    std::vector<std::string> given;
    for (const std::string& word : arguments.pulseWords) {
        if (!word.empty()) given.push_back(word);
    }
    if (given.size() < 2) return "pulse needs PORT DIR MS, such as: pulse /dev/ttyUSB0 north 500";
    if (given.size() == 3) arguments.port = given[0];
    arguments.direction = given[given.size() - 2];
    if (!readWholeNumber(given.back(), arguments.ms)) {
        return "'" + given.back() + "' is no pulse length: give milliseconds, such as 500";
    }
    return {};
}

int TerminalCommands::run()
{
    const std::string wordsError = readWords();
    if (!wordsError.empty()) return usageError(wordsError);
    std::string command;
    for (const CLI::App* chosen : {check, pulse, series, motion, ports}) {
        if (chosen->parsed()) command = chosen->get_name();
    }
    return runChosen(command);
}

int TerminalCommands::runChosen(const std::string& command)
{
    std::unique_ptr<TestReport> report;
    TextReport* text = nullptr;
    if (arguments.json) {
        report = std::make_unique<JsonReport>(stdout);
    } else {
        auto words = std::make_unique<TextReport>(stdout, stderr);
        text = words.get();
        report = std::move(words);
    }
    if (command == "ports") return listPorts(*report, arguments.json, arguments.extraPorts);

    Direction direction = Direction::North;
    if (command == "pulse" && !directionNamed(arguments.direction, direction)) {
        return usageError("'" + arguments.direction + "' is no direction: give north, south, east or west");
    }

    // Where the link goes, and the simulated mount at the far end if there is one.
    std::unique_ptr<SimulatedMount> simulated;
    std::string portName = arguments.port;
    if (!arguments.simulate.empty()) {
        MountBehaviour behaviour;
        if (!SimulatedMount::behaviourNamed(arguments.simulate, behaviour)) {
            return usageError("--simulate takes " + SimulatedMount::kinds() + ", not '" + arguments.simulate + "'");
        }
        std::string error;
        if (arguments.simulatePort.empty()) {
            if (!portName.empty()) {
                return usageError("with --simulate the mount brings its own line: leave PORT out, or give the "
                                  "mount's end of a serial pair with --simulate-port");
            }
            simulated = SimulatedMount::onOwnTerminal(behaviour, error);
            if (simulated) portName = simulated->linkEnd();
        } else if (devices::namesNetworkLine(arguments.simulatePort)) {
            // The link connects to where the mount listens; PORT, if given, must say the same.
            if (!portName.empty() && portName != arguments.simulatePort) {
                return usageError("with --simulate-port " + arguments.simulatePort + " the link connects there: "
                                  "leave PORT out");
            }
            simulated = SimulatedMount::onNetwork(arguments.simulatePort, behaviour, error);
            if (simulated) portName = simulated->linkEnd();
        } else {
            if (portName.empty()) return usageError("--simulate-port needs PORT, the link's end of the pair");
            devices::PortChoice mountPort;
            if (!devices::choosePort(arguments.simulatePort, kMountPortNumber, mountPort, error)) {
                return usageError(error);
            }
            simulated = SimulatedMount::onPort(mountPort, behaviour, error);
        }
        if (!simulated) {
            report->error("simulator", error);
            return kExitCannotStart;
        }
    } else if (portName.empty()) {
        return usageError("give the serial port, such as " +
#ifdef _WIN32
                          std::string("COM3") +
#else
                          std::string("/dev/ttyUSB0") +
#endif
                          " ('guide-link ports' lists them), or try --simulate");
    }

    std::unique_ptr<MountUnderTest> mount;
    std::string error;
    devices::PortChoice port;
    if (MountUnderTest::namesIndiServer(portName)) {
        mount = MountUnderTest::behindIndi(portName, *report, error);
        if (!mount) return usageError(error);
        port.device = portName;
    } else {
        if (!devices::choosePort(portName, kLinkPortNumber, port, error)) return usageError(error);
        devices::bindPort(port);
    }

    Tester::Settings settings;
    settings.allowanceMs = arguments.allowanceMs;
    settings.slackMs = arguments.slackMs;
    settings.timing = arguments.timing;
    if (text) text->showTraffic((command != "series" && command != "motion") || arguments.transcript);
    report->begin(command, port.device, arguments.simulate);
    if (!mount) mount = MountUnderTest::reachedBy(port, *report);
    Tester tester(*report, *mount, settings);
    if (command == "check") return tester.check();
    if (command == "pulse") return tester.pulse(direction, arguments.ms);
    if (command == "motion") return tester.motion(arguments.motion);
    return tester.series(arguments.lengths);
}
