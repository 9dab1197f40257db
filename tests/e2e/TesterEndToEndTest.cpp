// The real tester executable, worked through its dialog as a person would, against the simulated
// mount on a real serial line: a socat pair of pseudo-terminals, COM5 for the tester and COM6 for
// the mount (tests/line/with-serial-pair.sh). Needs a display (Xvfb will do).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/SerialLinePair.h"
#include "support/TesterPath.h"
#include "tools/dialog_driver/DialogDriver.h"
#include "mount_simulator/MountSimulator.h"
#include "ui/ResourceIds.h"

namespace {

constexpr int kGenerousMs = 15000;
constexpr int kTesterPortIndex = SerialLinePair::kLinkPort - 1;  // the list starts at COM1

class TesterEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.present()) << "run through tests/line/with-serial-pair.sh, which makes the serial line";
        ASSERT_TRUE(mount.start()) << "the simulated mount could not open its end of the line";
        startTester();
    }

    void startTester()
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = '"' + testerPath() + '"';
        ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &tester))
            << "cannot start " << testerPath();
        CloseHandle(tester.hThread);
        ASSERT_TRUE(dialog.waitForDialog(kGenerousMs)) << "the tester showed no dialog (is there a display?)";
    }

    void TearDown() override
    {
        if (!tester.hProcess) return;
        if (WaitForSingleObject(tester.hProcess, 0) == WAIT_TIMEOUT) {
            dialog.close();
            if (WaitForSingleObject(tester.hProcess, kGenerousMs) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "the tester did not end when its dialog was closed";
                TerminateProcess(tester.hProcess, 1);
            }
        }
        CloseHandle(tester.hProcess);
        mount.stop();
    }

    // Polls the status line until it shows text; false if it did not within timeoutMs.
    bool statusBecomes(const std::string& text, int timeoutMs = kGenerousMs)
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (dialog.text(IDC_STATUS) == text) return true;
            Sleep(10);
        }
        ADD_FAILURE() << "the status line shows \"" << dialog.text(IDC_STATUS) << "\", not \"" << text << '"';
        return false;
    }

    void connect()
    {
        ASSERT_TRUE(dialog.select(IDC_PORT_LIST, kTesterPortIndex));
        ASSERT_TRUE(dialog.click(IDC_CONNECT));
        ASSERT_TRUE(statusBecomes("Ready"));
        ASSERT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#"}));
    }

    std::vector<std::string> commandTexts() const
    {
        std::vector<std::string> texts;
        for (const ReceivedCommand& command : mount.commands()) texts.push_back(command.text);
        return texts;
    }

    // Presses the arrow with pulseMs in the field and waits for its stop command.
    void pulse(int arrowId, const std::string& pulseMs)
    {
        const size_t before = mount.commands().size();
        ASSERT_TRUE(dialog.type(IDC_PULSE_MS, pulseMs));
        ASSERT_TRUE(dialog.click(arrowId));
        ASSERT_TRUE(mount.waitForCommands(before + 3, kGenerousMs)) << "no rate, move and stop for arrow " << arrowId;
    }

    // Closes the dialog and expects the tester to end with code 0.
    void closeAndExpectACleanEnd()
    {
        dialog.close();
        ASSERT_EQ(WaitForSingleObject(tester.hProcess, kGenerousMs), WAIT_OBJECT_0) << "the tester did not end";
        DWORD exitCode = 1;
        GetExitCodeProcess(tester.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }

    std::string artefactPath(const char* name) const
    {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string folder(path);
        folder.erase(folder.find_last_of('\\'));
        folder += "\\artefacts";
        CreateDirectoryA(folder.c_str(), nullptr);
        return folder + "\\" + name;
    }

    SerialLinePair line;  // first: it names the devices the others open
    MountSimulator mount{SerialLinePair::kMountPort};
    PROCESS_INFORMATION tester{};
    DialogDriver dialog;
};

TEST_F(TesterEndToEndTest, StartsWithEveryPortListedAndAOneSecondPulse)
{
    ASSERT_EQ(dialog.itemCount(IDC_PORT_LIST), 256);
    EXPECT_EQ(dialog.itemText(IDC_PORT_LIST, 0), "COM1");
    EXPECT_EQ(dialog.itemText(IDC_PORT_LIST, 9), "COM10");
    EXPECT_EQ(dialog.itemText(IDC_PORT_LIST, 255), "COM256");
    EXPECT_EQ(dialog.selectedIndex(IDC_PORT_LIST), 0);
    EXPECT_EQ(dialog.text(IDC_PULSE_MS), "1000");
    EXPECT_TRUE(dialog.isChecked(IDC_ENGLISH));
    EXPECT_FALSE(dialog.isChecked(IDC_MAGYAR));
    EXPECT_EQ(dialog.text(IDC_STATUS), "");
}

TEST_F(TesterEndToEndTest, ConnectShowsProgressThenReady)
{
    ASSERT_TRUE(dialog.select(IDC_PORT_LIST, kTesterPortIndex));
    ASSERT_TRUE(dialog.click(IDC_CONNECT));
    // Shown for at least the half second the tester lets the line settle.
    EXPECT_TRUE(statusBecomes("Connecting... Please wait."));
    EXPECT_TRUE(statusBecomes("Ready"));
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#"}));
    EXPECT_TRUE(dialog.saveScreenshot(artefactPath("connected-dialog.bmp")));

    // The language buttons only move their check mark.
    ASSERT_TRUE(dialog.click(IDC_MAGYAR));
    EXPECT_TRUE(dialog.isChecked(IDC_MAGYAR));
    EXPECT_FALSE(dialog.isChecked(IDC_ENGLISH));
    EXPECT_EQ(dialog.text(IDC_STATUS), "Ready");

    ASSERT_TRUE(dialog.click(IDC_CONNECT));
    EXPECT_TRUE(statusBecomes("Error: Already connected"));
    ASSERT_TRUE(dialog.click(IDC_DISCONNECT));
    EXPECT_TRUE(statusBecomes("Connection closed"));
}

// On the mount's own clock each pulse lasts its ticks: a tick short or a tick long is a fault,
// and so is a heartbeat whose waits add up (5000 ms lasting 5045 or more). The margin is for the
// line's relay and a machine busy with other tests; the figures printed are the measurement.
TEST_F(TesterEndToEndTest, PulsesLastTheirTicksOnTheMountsClock)
{
    constexpr double kMountClockMarginMs = 40;
    connect();
    for (int lengthMs : {1000, 200, 5000}) {
        const size_t before = mount.commands().size();
        ASSERT_TRUE(dialog.type(IDC_PULSE_MS, std::to_string(lengthMs)));
        ASSERT_TRUE(dialog.click(IDC_NORTH));
        EXPECT_TRUE(statusBecomes("Sending correction pulse."));
        EXPECT_TRUE(statusBecomes("Ready", kGenerousMs + lengthMs));
        ASSERT_TRUE(mount.waitForCommands(before + 3, kGenerousMs));
        const std::vector<ReceivedCommand> commands = mount.commands();
        EXPECT_EQ(commands[before].text, ":RG#");
        EXPECT_EQ(commands[before + 1].text, ":Mn#");
        EXPECT_EQ(commands[before + 2].text, ":Qn#");
        const double pulseMs = commands[before + 2].milliseconds - commands[before + 1].milliseconds;
        EXPECT_NEAR(pulseMs, lengthMs, kMountClockMarginMs) << lengthMs << " ms";
        std::printf("%d ms pulse lasted %.1f ms on the mount's clock\n", lengthMs, pulseMs);
    }
}

TEST_F(TesterEndToEndTest, EachArrowMovesItsOwnWay)
{
    connect();
    struct Arrow {
        int id;
        const char* move;
        const char* stop;
    };
    // East is the arrow on the left of the field, west the one on the right.
    const Arrow arrows[] = {{IDC_NORTH, ":Mn#", ":Qn#"},
                            {IDC_SOUTH, ":Ms#", ":Qs#"},
                            {IDC_EAST, ":Me#", ":Qe#"},
                            {IDC_WEST, ":Mw#", ":Qw#"}};
    for (const Arrow& arrow : arrows) {
        pulse(arrow.id, "200");
        const std::vector<std::string> texts = commandTexts();
        EXPECT_EQ(texts[texts.size() - 3], ":RG#") << "every move runs at the guide rate";
        EXPECT_EQ(texts[texts.size() - 2], arrow.move);
        EXPECT_EQ(texts.back(), arrow.stop);
    }
}

TEST_F(TesterEndToEndTest, PulseFieldIsCorrectedIntoItsRange)
{
    connect();
    pulse(IDC_NORTH, "150");
    EXPECT_EQ(dialog.text(IDC_PULSE_MS), "200");
    pulse(IDC_SOUTH, "not a number");
    EXPECT_EQ(dialog.text(IDC_PULSE_MS), "200");

    ASSERT_TRUE(dialog.type(IDC_PULSE_MS, "9999"));
    ASSERT_TRUE(dialog.click(IDC_WEST));
    EXPECT_EQ(dialog.text(IDC_PULSE_MS), "5000");
    ASSERT_TRUE(mount.waitForCommands(11, kGenerousMs));
    EXPECT_EQ(commandTexts().back(), ":Mw#");
    // The longest pulse is cut short by disconnecting, which stops it first.
    ASSERT_TRUE(dialog.click(IDC_DISCONNECT));
    EXPECT_TRUE(statusBecomes("Connection closed"));
    ASSERT_TRUE(mount.waitForCommands(12, kGenerousMs));
    EXPECT_EQ(commandTexts().back(), ":Qw#");
}

TEST_F(TesterEndToEndTest, PortThatCannotBeOpenedSaysSo)
{
    ASSERT_TRUE(dialog.select(IDC_PORT_LIST, SerialLinePair::kAbsentPort - 1));
    ASSERT_TRUE(dialog.click(IDC_CONNECT));
    EXPECT_TRUE(statusBecomes("Error: Cannot open port"));
    ASSERT_TRUE(dialog.click(IDC_NORTH));
    EXPECT_TRUE(statusBecomes("Error: Not connected yet."));
}

TEST_F(TesterEndToEndTest, SilentMountEndsInATimeout)
{
    MountBehaviour silent;
    silent.answers = MountBehaviour::Answers::Silent;
    mount.setBehaviour(silent);
    ASSERT_TRUE(dialog.select(IDC_PORT_LIST, kTesterPortIndex));
    ASSERT_TRUE(dialog.click(IDC_CONNECT));
    EXPECT_TRUE(statusBecomes("Connecting... Please wait."));
    // Sixty ticks after the question: about six seconds.
    EXPECT_TRUE(statusBecomes("Connection failed: Timeout", 30000));
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#"}));
}

TEST_F(TesterEndToEndTest, AnAfternoonSkyAndASouthernDeclinationAreReady)
{
    MountBehaviour southern;
    southern.siderealTime = "14:00:00#";
    southern.rightAscension = "17:45:40#";
    southern.declination = "-29\xDF" "00'28#";
    mount.setBehaviour(southern);
    connect();
}

TEST_F(TesterEndToEndTest, WrongReplyIsACommunicationError)
{
    MountBehaviour wrong;
    wrong.answers = MountBehaviour::Answers::Replaced;
    wrong.replacement = "12:34.5#";  // the short format
    mount.setBehaviour(wrong);
    ASSERT_TRUE(dialog.select(IDC_PORT_LIST, kTesterPortIndex));
    ASSERT_TRUE(dialog.click(IDC_CONNECT));
    EXPECT_TRUE(statusBecomes("Communication error"));
}

TEST_F(TesterEndToEndTest, ClosingDuringAPulseStopsItAndEndsWithCodeZero)
{
    connect();
    ASSERT_TRUE(dialog.type(IDC_PULSE_MS, "5000"));
    ASSERT_TRUE(dialog.click(IDC_NORTH));
    ASSERT_TRUE(mount.waitForCommands(5, kGenerousMs));

    const DWORD closedAt = GetTickCount();
    closeAndExpectACleanEnd();
    EXPECT_LT(GetTickCount() - closedAt, 4000u);
    // The stop went out before the tester ended, long before the pulse's own end; on a busy
    // machine the mount may read it a moment after.
    EXPECT_TRUE(mount.waitForCommands(6, kGenerousMs));
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#", ":RG#", ":Mn#", ":Qn#"}));
    Sleep(1000);
    EXPECT_EQ(commandTexts().size(), 6u) << "written after the tester ended";
}

TEST_F(TesterEndToEndTest, ClosingDuringAConnectsPauseSendsNothing)
{
    ASSERT_TRUE(dialog.select(IDC_PORT_LIST, kTesterPortIndex));
    ASSERT_TRUE(dialog.click(IDC_CONNECT));
    // The status comes as the port opens; the question would follow half a second later.
    ASSERT_TRUE(statusBecomes("Connecting... Please wait."));
    closeAndExpectACleanEnd();
    Sleep(1000);
    EXPECT_TRUE(commandTexts().empty()) << "the tester asked the mount after it was closed";
}

// Closing at random moments (connecting, in the handshake, mid-pulse, idle): the program ends
// at once with code 0 and writes nothing more to the line.
TEST_F(TesterEndToEndTest, ClosingTwentyFiveTimesAtRandomMomentsAlwaysEndsCleanly)
{
    constexpr int kRounds = 25;
    constexpr int kPromptExitMs = 5000;
    std::mt19937 random(2024);
    double slowestExitMs = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        if (round > 0) startTester();
        ASSERT_TRUE(dialog.select(IDC_PORT_LIST, kTesterPortIndex));
        ASSERT_TRUE(dialog.click(IDC_CONNECT));
        // Half the rounds also start a pulse once the handshake has had a chance.
        if (random() % 2 == 0) {
            Sleep(700 + random() % 300);
            dialog.click(IDC_NORTH);
        }
        Sleep(random() % 1200);

        const DWORD closedAt = GetTickCount();
        dialog.close();
        ASSERT_EQ(WaitForSingleObject(tester.hProcess, kPromptExitMs), WAIT_OBJECT_0) << "the tester did not end";
        slowestExitMs = std::max(slowestExitMs, static_cast<double>(GetTickCount() - closedAt));
        DWORD exitCode = 1;
        GetExitCodeProcess(tester.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
        CloseHandle(tester.hProcess);
        tester.hProcess = nullptr;

        // What the tester wrote before it ended may still be on its way: judge the line once it
        // has been quiet for a while. A pulse running at the close must have been stopped.
        constexpr int kQuietMs = 300;
        size_t seen = mount.commands().size();
        for (int waited = 0; waited < kPromptExitMs; waited += kQuietMs) {
            Sleep(kQuietMs);
            if (mount.commands().size() == seen) break;
            seen = mount.commands().size();
        }
        const std::vector<ReceivedCommand> received = mount.commands();
        EXPECT_TRUE(received.empty() || received.back().text.rfind(":M", 0) != 0) << "the mount was left moving";
    }
    std::printf("slowest end after closing: %.0f ms\n", slowestExitMs);
}

}  // namespace
