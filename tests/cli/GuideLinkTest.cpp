// The real guide-link program against the simulated mount over a real serial line: a pair of
// pseudo-terminals joined by socat (tests/line/with-serial-pair.sh), COM ports under Wine. The
// program runs as a child process on the link's end; the mount runs here on the other.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "support/GuideLinkOutput.h"
#include "support/GuideLinkProcess.h"
#include "lx200/PositionText.h"
#include "mount_simulator/MountQuirk.h"
#include "platform/serial.h"
#include "support/CaseName.h"
#include "support/MountOnTheLine.h"
#include "support/SerialLinePair.h"
#include "mount_simulator/MountSimulator.h"

namespace {

using Json = nlohmann::json;

constexpr int kGenerousMs = 20000;
constexpr int kLeftoverGapMs = 50;
// Widens guide-link's band for a machine that runs other tests beside these, a Chromium among
// them, by less than half a tick: a pulse a tick short or long still fails.
const char* const kSlack = "40";

class GuideLinkTest : public MountOnTheLine {
protected:
    void answerWith(const std::string& replacement)
    {
        MountBehaviour behaviour;
        behaviour.answers = MountBehaviour::Answers::Replaced;
        behaviour.replacement = replacement;
        mount.setBehaviour(behaviour);
    }

    std::vector<std::string> commandTexts() const
    {
        std::vector<std::string> texts;
        for (const ReceivedCommand& command : mount.commands()) texts.push_back(command.text);
        return texts;
    }

    // Runs check against a mount played by hand: leftover, if any, goes out again and again until
    // the first command comes, as from a mount still finishing earlier answers; then each command
    // gets the next of answers, until they run out.
    GuideLinkProcess::Outcome checkAgainstScript(const std::string& leftover, const std::vector<std::string>& answers)
    {
        MountBehaviour silent;
        silent.answers = MountBehaviour::Answers::Silent;
        mount.setBehaviour(silent);
        GuideLinkProcess check({"check", linkEnd()});
        EXPECT_TRUE(check.started());
        if (!leftover.empty()) {
            for (int waited = 0; waited < kGenerousMs && !mount.waitForCommands(1, kLeftoverGapMs);
                 waited += kLeftoverGapMs) {
                mount.send(leftover);
            }
        }
        for (size_t i = 0; i < answers.size() && mount.waitForCommands(i + 1, kGenerousMs); ++i) {
            mount.send(answers[i]);
        }
        EXPECT_TRUE(check.finish(kGenerousMs)) << check.out();
        return {check.exitCode(), check.out(), check.err()};
    }

    // When the mount received the command, in its own milliseconds.
    double receivedAt(const std::string& text) const
    {
        for (const ReceivedCommand& command : mount.commands()) {
            if (command.text == text) return command.milliseconds;
        }
        ADD_FAILURE() << "the mount never received " << text;
        return 0;
    }
};

TEST_F(GuideLinkTest, CheckOfAnAnsweringMountPassesAndShowsEveryCommandAndReply)
{
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"check", linkEnd()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    for (const char* shown : {"status  Connecting... Please wait.", "sent    \":GS#\"", "recv    \"01:23:45#\"",
                              "sent    \":GR#\"", "recv    \"02:34:56#\"", "sent    \":GD#\"",
                              "recv    \"+12*34'56#\"", "status  Ready", "status  Connection closed", "PASS:"}) {
        EXPECT_TRUE(contains(run.out, shown));
    }
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#"}));
}

TEST_F(GuideLinkTest, CheckOfASilentMountTimesOutAndSaysNothingCameBack)
{
    MountBehaviour silent;
    silent.answers = MountBehaviour::Answers::Silent;
    mount.setBehaviour(silent);
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"check", linkEnd()});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "waiting for the reply to :GS#"));
    EXPECT_TRUE(contains(run.out, "status  Connection failed: Timeout"));
    EXPECT_TRUE(contains(run.out, "FAIL: the link reports \"Connection failed: Timeout\" (status 3)"));
    EXPECT_TRUE(contains(run.out, "Nothing at all came back"));
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#"}));
}

TEST_F(GuideLinkTest, CheckOfAReplyOfTheWrongShapeNamesTheReplyAndShowsItsUnprintableByteInHex)
{
    // A mount that ends its replies with a carriage return before the '#'.
    answerWith("01:23:45\r#");
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"check", linkEnd()});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "recv    \"01:23:45\\x0d#\"  hex: 30 31 3a 32 33 3a 34 35 0d 23"));
    EXPECT_TRUE(contains(run.out, "status  Communication error"));
    EXPECT_TRUE(contains(run.out, "The reply to :GS# (sidereal time) was \"01:23:45\\x0d#\" (9 characters"));
    EXPECT_TRUE(lacks(run.out, "status  Ready"));
}

const std::string kLeftover = std::string(32, ' ') + "#";

struct AnswersCase {
    const char* what;
    std::string leftover;              // sent until the first command comes; "" for none
    std::vector<std::string> answers;  // to the commands in turn
    int exitCode;
    std::vector<std::string> shown;
    std::vector<std::string> notShown;
};
void PrintTo(const AnswersCase& c, std::ostream* out) { *out << c.what; }

class HandshakeAnswers : public GuideLinkTest, public ::testing::WithParamInterface<AnswersCase> {};

TEST_P(HandshakeAnswers, AreJudgedAndExplainedInTheOwnersTerms)
{
    const AnswersCase& c = GetParam();
    const GuideLinkProcess::Outcome run = checkAgainstScript(c.leftover, c.answers);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    for (const std::string& part : c.shown) EXPECT_TRUE(contains(run.out, part));
    for (const std::string& part : c.notShown) EXPECT_TRUE(lacks(run.out, part));
}

const std::string kFailed = "FAIL: the link reports \"Communication error\" (status 5).";

INSTANTIATE_TEST_SUITE_P(
    Mounts, HandshakeAnswers,
    ::testing::Values(
        AnswersCase{"long format of any hour and a southern declination",
                    "", {"14:00:00#", "23:59:59#", "-30*00'00#"}, 0,
                    {"recv    \"-30*00'00#\"", "PASS: the link reports \"Ready\""}, {}},
        AnswersCase{"southern declination with the degree sign byte and a colon",
                    "", {"00:00:00#", "00:30:00#", "-45\xdf" "30:15#"}, 0,
                    {"recv    \"-45\\xdf30:15#\"", "PASS: the link reports \"Ready\""}, {}},
        AnswersCase{"sidereal time in the short format",
                    "", {"12:34.5#"}, 1,
                    {kFailed, "The reply to :GS# (sidereal time) was \"12:34.5#\"", "short format",
                     "long (\"high precision\") format", ":U#"},
                    {}},
        AnswersCase{"declination in the short format",
                    "", {"01:23:45#", "02:34:56#", "+12*34#"}, 1,
                    {kFailed, "The reply to :GD# (declination) was \"+12*34#\"", ":U#", "+45\\xdf30:15#"}, {}},
        AnswersCase{"bytes that are no time or angle",
                    "", {"\x15\xa3\x7f#"}, 1,
                    {kFailed, "neither a time nor an angle", "Something else may be talking on the line",
                     "does not speak LX200"},
                    {":U#"}},
        AnswersCase{"spaces ahead of the answer",
                    "", {kLeftover + "01:23:45#"}, 1,
                    {kFailed, "Something else arrived first: \"" + kLeftover + "\" came in after :GS#",
                     "ahead of \"01:23:45#\"", "try again"},
                    {"was \"01:23:45#\""}},
        AnswersCase{"spaces left on the line before the question",
                    kLeftover, {"01:23:45#"}, 1,
                    {kFailed, "Something else arrived first: \"" + kLeftover + "\" came in before :GS#", "try again"},
                    {"was \"01:23:45#\""}}),
    CaseName());

TEST_F(GuideLinkTest, CheckInJsonGivesOneParsableEventPerLineWithTheWholeExchange)
{
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"--json", "check", linkEnd()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::vector<Json> all = events(run.out);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front()["event"], "start");
    EXPECT_EQ(all.front()["port"], linkEnd());

    std::vector<int> codes;
    for (const Json& status : eventsOfKind(all, "status")) codes.push_back(status["code"]);
    EXPECT_EQ(codes, (std::vector<int>{1, 7, 9}));
    std::vector<std::string> sent;
    for (const Json& write : eventsOfKind(all, "sent")) {
        sent.push_back(write["text"]);
        EXPECT_TRUE(write["ok"].get<bool>());
        EXPECT_GE(write["t_ms"].get<double>(), 0.0);
    }
    EXPECT_EQ(sent, (std::vector<std::string>{":GS#", ":GR#", ":GD#"}));
    std::string received;
    for (const Json& bytes : eventsOfKind(all, "received")) received += bytes["hex"].get<std::string>() + " ";
    EXPECT_EQ(received, "30 31 3a 32 33 3a 34 35 23 30 32 3a 33 34 3a 35 36 23 2b 31 32 2a 33 34 27 35 36 23 ");

    const Json& result = all.back();
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["outcome"], "pass");
    EXPECT_EQ(result["exit_code"], 0);
}

TEST_F(GuideLinkTest, PulseLastsAboutAsLongAsRequestedAtBothEndsOfTheLine)
{
    const GuideLinkProcess::Outcome run =
        GuideLinkProcess::run({"--json", "pulse", linkEnd(), "west", "500", "--slack", kSlack});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::vector<Json> pulses = eventsOfKind(events(run.out), "pulse");
    ASSERT_EQ(pulses.size(), 1u) << run.out;
    const Json& pulse = pulses.front();
    EXPECT_EQ(pulse["direction"], "west");
    EXPECT_EQ(pulse["requested_ms"], 500);
    EXPECT_EQ(pulse["ticks"], 5);
    EXPECT_TRUE(pulse["passed"].get<bool>());
    const double measured = pulse["measured_ms"];
    EXPECT_GT(measured, 250.0);
    EXPECT_LT(measured, 800.0);

    // The mount, at the far end of the line, timed the same pulse alike.
    // The guide rate is selected right before the move.
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#", ":RG#", ":Mw#", ":Qw#"}));
    // The mount's reader thread stamps what it receives; under a sanitizer on a busy machine it
    // can be a tick late, so the margin is well over one tick yet far below the pulse.
    EXPECT_NEAR(receivedAt(":Qw#") - receivedAt(":Mw#"), measured, 150.0);
}

struct MountTimedPulseCase {
    const char* what;
    std::string quirk;     // "" for a mount that times :Mg
    double movedArcsec;    // by the end of the program: for 1 s, or until the late stop 1.5 s on
};
void PrintTo(const MountTimedPulseCase& c, std::ostream* out) { *out << c.what; }

class MountTimedPulse : public GuideLinkTest, public ::testing::WithParamInterface<MountTimedPulseCase> {};

TEST_P(MountTimedPulse, SendsMgAloneAndLeavesTheMountStopped)
{
    const MountTimedPulseCase& c = GetParam();
    MountBehaviour behaviour;
    if (!c.quirk.empty()) {
        ASSERT_TRUE(mountQuirk::apply(c.quirk, behaviour));
    }
    mount.setBehaviour(behaviour);
    const std::string start = mount.position();
    const GuideLinkProcess::Outcome run =
        GuideLinkProcess::run({"pulse", linkEnd(), "north", "1000", "--timed-by", "mount"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#", ":Mgn1000#", ":Qn#"}));
    EXPECT_TRUE(contains(run.out, "timed by the mount: its length cannot be measured on the line")) << run.out;
    EXPECT_TRUE(contains(run.out, "'guide-link motion --timed-by both' measures")) << run.out;

    const std::string end = mount.position();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(mount.position(), end) << "still moving";
    const auto declination = [](const std::string& position) {
        return sky::readLongDeclination(position.substr(position.find("Dec ") + 4) + "#").value_or(0);
    };
    EXPECT_NEAR(declination(end) - declination(start), c.movedArcsec, 1.5) << start << " to " << end;
}

// At 0.5x sidereal, 7.52" a second.
INSTANTIATE_TEST_SUITE_P(
    Mounts, MountTimedPulse,
    ::testing::Values(MountTimedPulseCase{"a mount that times it", "", 7.5},
                      MountTimedPulseCase{"a mount that takes it as a plain move", "mg-untimed", 11.3}),
    CaseName());

TEST_F(GuideLinkTest, PulseShorterThanTheShortestIsRaisedTo200MsAsTheDialogDoes)
{
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"pulse", linkEnd(), "north", "50", "--slack", kSlack});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "north  200 ms (corrected from 50 ms) in 2 ticks"));
    EXPECT_TRUE(contains(run.out, "sent    \":Mn#\""));
    EXPECT_TRUE(contains(run.out, "sent    \":Qn#\""));
}

TEST_F(GuideLinkTest, SeriesPulsesEveryDirectionAtEachLengthAndPasses)
{
    const GuideLinkProcess::Outcome run =
        GuideLinkProcess::run({"--json", "series", linkEnd(), "--lengths", "200,500", "--slack", kSlack});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::vector<Json> all = events(run.out);
    const std::vector<Json> pulses = eventsOfKind(all, "pulse");
    ASSERT_EQ(pulses.size(), 8u) << run.out;
    const char* directions[] = {"north", "south", "east", "west"};
    for (size_t i = 0; i < pulses.size(); ++i) {
        EXPECT_EQ(pulses[i]["direction"], directions[i % 4]);
        EXPECT_EQ(pulses[i]["requested_ms"], i < 4 ? 200 : 500);
        EXPECT_EQ(pulses[i]["index"], i + 1);
        EXPECT_EQ(pulses[i]["total"], 8);
        EXPECT_TRUE(pulses[i]["passed"].get<bool>()) << pulses[i].dump();
    }
    EXPECT_EQ(all.back()["outcome"], "pass");

    std::vector<std::string> commands = commandTexts();
    commands.erase(commands.begin(), commands.begin() + 3);
    const std::vector<std::string> round{":RG#", ":Mn#", ":Qn#", ":RG#", ":Ms#", ":Qs#",
                                         ":RG#", ":Me#", ":Qe#", ":RG#", ":Mw#", ":Qw#"};
    std::vector<std::string> expected = round;
    expected.insert(expected.end(), round.begin(), round.end());
    EXPECT_EQ(commands, expected);
}

TEST_F(GuideLinkTest, SeriesFailsAndStopsWhenTheLineIsCutMidway)
{
    GuideLinkProcess series({"series", linkEnd(), "--lengths", "1000,2000"});
    ASSERT_TRUE(series.started());
    // The handshake and the first move.
    ASSERT_TRUE(mount.waitForCommands(4, kGenerousMs));
    ASSERT_TRUE(line.cut(kGenerousMs));
    ASSERT_TRUE(series.finish(kGenerousMs)) << series.out();

    EXPECT_EQ(series.exitCode(), 1) << series.out() << series.err();
    EXPECT_TRUE(contains(series.out(), "[ 1/8] north 1000 ms in 10 ticks: measured -, allowed 990 to 1020 ms: FAILED"));
    EXPECT_TRUE(contains(series.out(), "the stop command could not be written"));
    EXPECT_TRUE(contains(series.out(), "FAIL: pulse 1 of 8 failed"));
    EXPECT_TRUE(lacks(series.out(), "[ 2/8]"));
}

TEST_F(GuideLinkTest, PortsListsADeviceItIsToldAbout)
{
    setEnvironment("GUIDE_LINK_EXTRA_PORTS", linkEnd());
    const GuideLinkProcess::Outcome text = GuideLinkProcess::run({"ports"});
    const GuideLinkProcess::Outcome json = GuideLinkProcess::run({"ports", "--json"});
    setEnvironment("GUIDE_LINK_EXTRA_PORTS", "");

    EXPECT_EQ(text.exitCode, 0) << text.out << text.err;
    EXPECT_TRUE(contains(text.out, "  " + linkEnd()));
    bool listed = false;
    for (const Json& port : eventsOfKind(events(json.out), "port")) {
        if (port["device"] == linkEnd()) listed = port["present"].get<bool>();
    }
    EXPECT_TRUE(listed) << json.out;
}

TEST_F(GuideLinkTest, PortInUseIsReportedAsSuchWithWhatToDo)
{
#ifdef _WIN32
    // Windows keeps a second program off an open COM port; Wine lets it in.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        GTEST_SKIP() << "Wine does not keep a second program off an open COM port";
    }
#endif
    const std::unique_ptr<platform::SerialPort> holder = platform::SerialPort::open(SerialLinePair::kLinkPort);
    ASSERT_NE(holder, nullptr);
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"check", linkEnd()});
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "status  Error: Cannot open port"));
    EXPECT_TRUE(contains(run.err, "is in use by another program"));
    EXPECT_TRUE(contains(run.err, "Close it and try again"));
    EXPECT_TRUE(commandTexts().empty());
}

TEST_F(GuideLinkTest, MissingPortIsReportedAsSuchWithWhatToDo)
{
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"--json", "check", absentEnd()});
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    const Json result = events(run.out).back();
    EXPECT_EQ(result["outcome"], "error");
    EXPECT_EQ(result["error_kind"], "missing");
    ASSERT_EQ(result["details"].size(), 1u);
    EXPECT_TRUE(contains(result["details"][0].get<std::string>(), "guide-link ports"));
}

TEST_F(GuideLinkTest, UsageErrorsExitWithTwoAndSayWhy)
{
    const GuideLinkProcess::Outcome direction = GuideLinkProcess::run({"pulse", linkEnd(), "up", "500"});
    EXPECT_EQ(direction.exitCode, 2);
    EXPECT_TRUE(contains(direction.err, "'up' is no direction"));
    const GuideLinkProcess::Outcome length = GuideLinkProcess::run({"pulse", linkEnd(), "north", "long"});
    EXPECT_EQ(length.exitCode, 2);
    EXPECT_TRUE(contains(length.err, "'long' is no pulse length"));
    const GuideLinkProcess::Outcome none = GuideLinkProcess::run({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(commandTexts().empty());
}

#ifndef _WIN32
// Pseudo-terminals of its own: POSIX only.
TEST_F(GuideLinkTest, SimulatedMountNeedsNoLineAndCanMisbehaveOnRequest)
{
    const GuideLinkProcess::Outcome good = GuideLinkProcess::run({"--simulate", "check"});
    EXPECT_EQ(good.exitCode, 0) << good.out << good.err;
    EXPECT_TRUE(contains(good.out, "Simulated mount (good) at the other end of /dev/pts/"));
    const GuideLinkProcess::Outcome wrong = GuideLinkProcess::run({"--simulate=wrong", "check"});
    EXPECT_EQ(wrong.exitCode, 1) << wrong.out << wrong.err;
    EXPECT_TRUE(contains(wrong.out, "FAIL: the link reports \"Communication error\" (status 5)"));
    EXPECT_TRUE(contains(wrong.out, "short format"));
    EXPECT_TRUE(contains(wrong.out, ":U#"));
    EXPECT_TRUE(commandTexts().empty());
}
#endif

}  // namespace
