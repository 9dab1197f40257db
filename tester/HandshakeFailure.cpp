#include "tester/HandshakeFailure.h"

#include <fmt/format.h>

#include "link/MountProtocol.h"
#include "link/ResponseParser.h"
#include "link/Tick.h"
#include "tester/ExitCode.h"
#include "tester/WireText.h"

namespace handshake {
namespace {

using Connection = MountUnderTest::Connection;

constexpr double kHandshakeSeconds = MountProtocol::kHandshakeTicks * kTickMs / 1000.0;

// ":GS# (sidereal time)"
std::string withMeaning(const std::string& question)
{
    const std::string asked = wire::askedFor(question);
    return asked.empty() ? question : question + " (" + asked + ")";
}

// Why the link found the mount's answers wrong, and what to do about it.
std::vector<std::string> explainCommunicationError(const HandshakeReplies& replies)
{
    using Verdict = HandshakeReplies::Verdict;
    const std::string question = withMeaning(replies.lastQuestion());
    const HandshakeReplies::Reply* reply = replies.judged();
    const HandshakeReplies::Reply* next = replies.afterJudged();
    const std::string then = next ? " Then came " + wire::quoted(next->text) + "." : "";
    const std::string tryAgain = "It may be the rest of an earlier answer, or another program or device talking on "
                                 "the line: try again, and if it happens again, make sure nothing else uses the port "
                                 "or the cable.";
    const auto replyWas = [&] {
        return fmt::format("The reply to {} was {} ({} characters before the '#'): {}.", question,
                           wire::quoted(reply->text), reply->text.size() - 1, wire::shapeName(reply->shape));
    };
    const std::string accepted = "The link takes only " + wire::acceptedReply(replies.lastQuestion()) + ".";

    switch (replies.verdict()) {
    case Verdict::NoReply:
        break;
    case Verdict::MountError:
        return {fmt::format("The mount answered {} with {}: a reply beginning with '!' is the mount reporting an "
                            "error.", replies.lastQuestion(), wire::quoted(reply->text)),
                "Look for a message on the mount's handset, then try again."};
    case Verdict::CameFirst:
        if (replies.judgedCameBeforeQuestion()) {
            return {fmt::format("Something else arrived first: {} came in before {} was sent, and the link took it "
                                "for the answer.{}", wire::quoted(reply->text), question, then),
                    tryAgain};
        }
        return {fmt::format("Something else arrived first: {} came in after {} was sent, ahead of {}, and the link "
                            "took it for the answer.", wire::quoted(reply->text), question, wire::quoted(next->text)),
                tryAgain};
    case Verdict::OtherQuestion:
        return {fmt::format("Something else arrived instead of the answer to {}: {}, {}.{}", question,
                            wire::quoted(reply->text), wire::shapeName(reply->shape), then),
                tryAgain};
    case Verdict::ShortFormat:
        return {replyWas(), accepted,
                "The mount is set to the short format: switch it to the long (\"high precision\") format on its "
                "handset, or send it the LX200 command :U#, which switches between the two; then run the check "
                "again."};
    case Verdict::NotAnAnswer:
        return {replyWas(), accepted,
                "Something else may be talking on the line (another program on this port, or another device on "
                "the cable), or the mount does not speak LX200, or not at 9600 baud: check that it is set to the "
                "LX200 command set."};
    case Verdict::Accepted:
        return {replyWas(), accepted, "Check that the mount is set to the LX200 command set."};
    }
    return {"The mount's reply could not be made out.", "Check that the mount is set to the LX200 command set."};
}

CheckResult cannotOpen(const devices::PortChoice& port)
{
    if (port.network) {
        return {kExitCannotStart, "error",
                "cannot reach " + port.device + ": " + linkReports(StatusCode::CannotOpenPort),
                {devices::explainNetworkFailure(port)}, devices::networkFailureName(port)};
    }
    const devices::OpenProblem problem = devices::diagnoseOpenFailure(port.device);
    return {kExitCannotStart, "error", "cannot open " + port.device + ": " + linkReports(StatusCode::CannotOpenPort),
            {devices::explain(problem, port.device)}, devices::problemName(problem.kind)};
}

CheckResult timedOut(const HandshakeReplies& replies)
{
    std::vector<std::string> details;
    details.push_back(fmt::format("No whole reply to {} came within {} heartbeat ticks (about {:.0f} s).",
                                  withMeaning(replies.lastQuestion()), MountProtocol::kHandshakeTicks,
                                  kHandshakeSeconds));
    const std::string& unfinished = replies.unfinished();
    if (unfinished.empty()) {
        details.push_back("Nothing at all came back to it.");
    } else if (unfinished.find('#') == std::string::npos && unfinished.size() < ResponseParser::kCapacity) {
        details.push_back(fmt::format("These bytes came back without the closing '#': {}.", wire::quoted(unfinished)));
    } else {
        details.push_back(fmt::format("These bytes came back, but no whole reply (1 to {} characters, then '#'): {}.",
                                      ResponseParser::kCapacity - 1, wire::quoted(unfinished)));
    }
    details.push_back("Check that the mount is switched on and has finished starting up, that the cable "
                      "goes to the mount's RS-232 port, and that the mount talks at 9600 baud.");
    return {kExitFail, "fail", linkReports(StatusCode::Timeout), details, ""};
}

}  // namespace

std::string linkReports(StatusCode code)
{
    const int number = static_cast<int>(code);
    return fmt::format("the link reports \"{}\" (status {})", wire::statusLine(number), number);
}

CheckResult failure(Connection outcome, const HandshakeReplies& replies, const devices::PortChoice& port,
                    bool forPosition)
{
    const bool shortFormat = outcome == Connection::CommunicationError &&
                             replies.verdict() == HandshakeReplies::Verdict::ShortFormat;
    if (forPosition && shortFormat) {
        std::vector<std::string> details = explainCommunicationError(replies);
        details.insert(details.begin(), "Positions need the long format: it gives the right ascension to the second "
                                        "and the declination to the arcsecond; the short one, to 6 s and 1 arcminute, "
                                        "is too coarse to measure guide pulses.");
        return {kExitFail, "fail", "the mount answers in the short format: no position to measure", details, ""};
    }
    switch (outcome) {
    case Connection::Ready:
        break;
    case Connection::CannotOpen:
        return cannotOpen(port);
    case Connection::Timeout:
        return timedOut(replies);
    case Connection::CommunicationError:
        return {kExitFail, "fail", linkReports(StatusCode::CommunicationError), explainCommunicationError(replies), ""};
    case Connection::Unanswered:
        return {kExitFail, "fail", "the link did not end the handshake within 20 s", {}, ""};
    case Connection::Interrupted:
        return {kExitInterrupted, "interrupted", "stopped before the handshake was over", {}, ""};
    }
    // Ready, yet no position: the replies gave none.
    return {kExitFail, "fail", "the handshake's replies gave no position", {}, ""};
}

}  // namespace handshake
