#include "tester/IndiCheckResult.h"

#include <fmt/format.h>

#include "tester/ExitCode.h"

CheckResult indiCheckResult(const indi::IndiTelescope& telescope, const std::optional<PositionReading>& position)
{
    std::vector<std::string> details;
    const std::string& device = telescope.device();
    if (const auto info = telescope.driverInfo()) {
        details.push_back(fmt::format("Device '{}': driver {} ({} version {}).", device, info->name, info->exec,
                                      info->version));
    }
    const std::string port = telescope.port();
    const std::string address = telescope.address();
    const std::string mode = telescope.connectionMode();
    if (!port.empty() || !address.empty()) {
        const bool overNetwork = mode == "CONNECTION_TCP" || (port.empty() && !address.empty());
        details.push_back(fmt::format("The driver reaches the mount {} {}.", overNetwork ? "over the network at" : "on",
                                      overNetwork ? address : port));
    }
    details.push_back(telescope.connectedHere() ? "The driver was not connected: guide-link connected it, and "
                                                   "disconnects it again at the end."
                                                 : "The driver was connected.");
    const bool guided = telescope.takesTimedGuides();
    details.push_back(guided ? "It takes timed guide pulses (TELESCOPE_TIMED_GUIDE_NS and TELESCOPE_TIMED_GUIDE_WE)."
                             : "It does not take timed guide pulses: it defines no TELESCOPE_TIMED_GUIDE_NS and "
                               "TELESCOPE_TIMED_GUIDE_WE.");
    if (const auto pulseCommands = telescope.pulseCommands()) {
        details.push_back(*pulseCommands ? "Its 'Use Pulse Cmd' is on: it sends the mount pulses the mount times "
                                           "itself (:Mg). A mount that ignores :Mg is not guided: 'guide-link motion' "
                                           "shows it."
                                         : "Its 'Use Pulse Cmd' is off: it times each pulse itself, with a move and "
                                           "its stop.");
    }
    if (const auto tracking = telescope.tracking()) {
        details.push_back(*tracking ? "The mount is tracking." : "The mount is NOT tracking: guiding needs it to track.");
    }
    if (const auto rate = telescope.guideRate()) {
        details.push_back(fmt::format("The driver reports a guide rate of {:.2f}x sidereal in right ascension and "
                                      "{:.2f}x in declination.", rate->westEast, rate->northSouth));
    } else {
        details.push_back("The driver reports no guide rate.");
    }
    if (position) {
        details.push_back(fmt::format("It points at right ascension {:.4f} h, declination {:+.4f} degrees.",
                                      position->rightAscension / 3600, position->declination / 3600));
    }
    if (!guided) {
        return {kExitFail, "fail", fmt::format("'{}' cannot be guided through INDI", device), details, ""};
    }
    return {kExitPass, "pass", fmt::format("'{}' can be guided through INDI: its driver takes timed guide pulses",
                                           device),
            details, ""};
}
