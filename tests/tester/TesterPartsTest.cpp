// The parts of the tester that decide what a person reads: how bytes are shown, which reply
// failed a handshake, and the bound a pulse is judged by.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "tester/HandshakeReplies.h"
#include "tester/PulseBound.h"
#include "tester/WireText.h"
#include "support/CaseName.h"

namespace {

TEST(WireTextTest, PrintableBytesShowAsTheyAreAndOthersAsEscapesAndHex)
{
    EXPECT_EQ(wire::quoted("01:23:45#"), "\"01:23:45#\"");
    EXPECT_TRUE(wire::printable("+12*34'56#"));
    const std::string noisy("\r\n\0\xff\"\\ ~", 8);
    EXPECT_FALSE(wire::printable(noisy));
    EXPECT_EQ(wire::quoted(noisy), "\"\\x0d\\x0a\\x00\\xff\\\"\\\\ ~\"");
    EXPECT_EQ(wire::hex(noisy), "0d 0a 00 ff 22 5c 20 7e");
    EXPECT_EQ(wire::hex(""), "");
}

TEST(WireTextTest, StatusTextsAreTheDialogsInUtf8)
{
    EXPECT_EQ(wire::statusLine(1), "Connecting... Please wait.");
    EXPECT_EQ(wire::statusLine(7), "Ready");
    EXPECT_EQ(wire::statusLine(9), "Connection closed");
    EXPECT_EQ(wire::statusLine(10), "status 10");
    EXPECT_EQ(wire::utf8(u"\u00b0 \u20ac \U0001F52D"), "\xc2\xb0 \xe2\x82\xac \xf0\x9f\x94\xad");
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(wire::utf8(loneSurrogate), "a\xef\xbf\xbd" "b");
}

// --- which reply failed the handshake ---

// One event of the link: a command written, or bytes read, at ms after an origin.
struct Step {
    LinkEvent::Kind kind;
    std::string bytes;
    int ms;
};

Step sent(const std::string& command, int ms) { return {LinkEvent::Kind::Sent, command, ms}; }
Step read(const std::string& bytes, int ms) { return {LinkEvent::Kind::Received, bytes, ms}; }

const std::string kLeftover = std::string(32, ' ') + "#";

using Verdict = HandshakeReplies::Verdict;

struct JudgedCase {
    const char* what;
    std::vector<Step> events;  // in the order the link reports them
    std::string judged;        // "" for none
    Verdict verdict;
    std::string afterJudged;   // "" for none
};
void PrintTo(const JudgedCase& c, std::ostream* out) { *out << c.what; }

class JudgedReply : public ::testing::TestWithParam<JudgedCase> {};

TEST_P(JudgedReply, IsTheOneTheLinkTookForTheAnswerToTheLastQuestion)
{
    const LinkEvent::Clock::time_point origin = LinkEvent::Clock::now();
    HandshakeReplies replies;
    replies.restart();
    for (const Step& step : GetParam().events) {
        LinkEvent event;
        event.kind = step.kind;
        event.bytes = step.bytes;
        event.at = event.startedAt = origin + std::chrono::milliseconds(step.ms);
        replies.note(event);
    }
    const HandshakeReplies::Reply* judged = replies.judged();
    EXPECT_EQ(judged ? judged->text : "", GetParam().judged);
    EXPECT_EQ(replies.verdict(), GetParam().verdict);
    const HandshakeReplies::Reply* after = replies.afterJudged();
    EXPECT_EQ(after ? after->text : "", GetParam().afterJudged);
}

const std::vector<Step> kFirstTwoAnswered{sent(":GS#", 0), read("01:23:45#", 5), sent(":GR#", 6),
                                          read("02:34:56#", 10), sent(":GD#", 11)};

std::vector<Step> firstTwoAnsweredThen(const Step& step)
{
    std::vector<Step> steps = kFirstTwoAnswered;
    steps.push_back(step);
    return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Handshakes, JudgedReply,
    ::testing::Values(
        JudgedCase{"a sidereal time in the long format", {sent(":GS#", 0), read("14:00:00#", 5)}, "14:00:00#",
                   Verdict::Accepted, ""},
        JudgedCase{"a sidereal time in the short format", {sent(":GS#", 0), read("12:34.5#", 5)}, "12:34.5#",
                   Verdict::ShortFormat, ""},
        JudgedCase{"a declination in the short format after two good answers", firstTwoAnsweredThen(read("+12*34#", 15)),
                   "+12*34#", Verdict::ShortFormat, ""},
        JudgedCase{"a time where the declination was asked for", firstTwoAnsweredThen(read("02:34:56#", 15)),
                   "02:34:56#", Verdict::OtherQuestion, ""},
        JudgedCase{"a mount error", {sent(":GS#", 0), read("!#", 5)}, "!#", Verdict::MountError, ""},
        JudgedCase{"bytes that are no time or angle", {sent(":GS#", 0), read("\x15\xa3\x7f#", 5)}, "\x15\xa3\x7f#",
                   Verdict::NotAnAnswer, ""},
        JudgedCase{"a reply left on the line before the question, not the answer after it",
                   {read(kLeftover, -200), sent(":GS#", 0), read("01:23:45#", 5)}, kLeftover, Verdict::CameFirst,
                   "01:23:45#"},
        JudgedCase{"a reply begun before the question and ended after it came first",
                   {read("12:34", -100), sent(":GS#", 0), read(".5#", 5)}, "12:34.5#", Verdict::CameFirst, ""},
        JudgedCase{"a lone terminator left on the line is no reply", {read("#", -100), sent(":GS#", 0), read("12:34.5#", 5)},
                   "12:34.5#", Verdict::ShortFormat, ""},
        JudgedCase{"junk ahead of the answer in the same piece", {sent(":GS#", 0), read(kLeftover + "01:23:45#", 5)},
                   kLeftover, Verdict::CameFirst, "01:23:45#"},
        JudgedCase{"a reply of 50 characters is lost with its terminator and the next is judged",
                   {sent(":GS#", 0), read(std::string(50, 'x') + "#12:34.5#", 5)}, "12:34.5#", Verdict::ShortFormat,
                   ""},
        JudgedCase{"an answer read before the write of its question is reported still answers it",
                   {sent(":GS#", 0), read("01:23:45#", 5), read("02:34:56#", 20), sent(":GR#", 15), read("+1", 25),
                    sent(":GD#", 21), read("2*34#", 26)},
                   "+12*34#", Verdict::ShortFormat, ""},
        JudgedCase{"no whole reply yet", {sent(":GS#", 0), read("01:2", 5)}, "", Verdict::NoReply, ""}),
    CaseName());

TEST(HandshakeRepliesTest, UnfinishedBytesAreThoseSinceTheLastQuestionAndTheLastWholeReply)
{
    HandshakeReplies replies;
    replies.restart();
    LinkEvent event;
    event.kind = LinkEvent::Kind::Received;
    event.bytes = "stale";
    replies.note(event);
    EXPECT_EQ(replies.unfinished(), "stale");
    event.kind = LinkEvent::Kind::Sent;
    event.bytes = ":GS#";
    replies.note(event);
    EXPECT_EQ(replies.unfinished(), "");
    event.kind = LinkEvent::Kind::Received;
    event.bytes = "01:23:45#01:2";
    replies.note(event);
    EXPECT_EQ(replies.unfinished(), "01:2");
    // A flood of noise keeps only its end.
    event.bytes = std::string(HandshakeReplies::kUnfinishedShown, 'x') + "end";
    replies.note(event);
    EXPECT_EQ(replies.unfinished().size(), HandshakeReplies::kUnfinishedShown);
    EXPECT_EQ(replies.unfinished().substr(HandshakeReplies::kUnfinishedShown - 3), "end");
}

TEST(PulseBoundTest, RunsFromTheTicksLengthLessJitterToTheAllowanceOverIt)
{
    const PulseBound whole = PulseBound::forPulse(5, PulseBound::kDefaultAllowanceMs, 0);
    EXPECT_EQ(whole.lowerMs, 490);
    EXPECT_EQ(whole.upperMs, 520);
    EXPECT_TRUE(whole.holds(490));
    EXPECT_TRUE(whole.holds(520));
    EXPECT_FALSE(whole.holds(401));
    EXPECT_TRUE(whole.oneTickShort(401));
    EXPECT_FALSE(whole.oneTickShort(300));
    EXPECT_FALSE(whole.holds(600));  // a tick long

    const PulseBound slack = PulseBound::forPulse(5, 50, 100);
    EXPECT_EQ(slack.lowerMs, 390);
    EXPECT_EQ(slack.upperMs, 650);
}

TEST(PulseBoundTest, DirectionsAreTakenByNameOrInitialInAnyCase)
{
    Direction direction = Direction::North;
    ASSERT_TRUE(directionNamed("West", direction));
    EXPECT_EQ(direction, Direction::West);
    ASSERT_TRUE(directionNamed("s", direction));
    EXPECT_EQ(direction, Direction::South);
    ASSERT_TRUE(directionNamed("EAST", direction));
    EXPECT_EQ(direction, Direction::East);
    EXPECT_FALSE(directionNamed("up", direction));
    EXPECT_FALSE(directionNamed("", direction));
    EXPECT_STREQ(directionName(Direction::North), "north");
}

}  // namespace
