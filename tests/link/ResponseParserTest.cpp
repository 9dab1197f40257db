#include "link/ResponseParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CaseName.h"

namespace {

// Feeds text byte by byte and returns the replies completed.
std::vector<std::string> parse(const std::string& stream)
{
    ResponseParser parser;
    std::vector<std::string> replies;
    for (char c : stream) {
        if (parser.accept(static_cast<unsigned char>(c))) replies.emplace_back(parser.reply(), parser.length());
    }
    return replies;
}

struct ParseCase {
    const char* what;
    std::string stream;
    std::vector<std::string> expected;
};
// Shown in the test list, which CTest reads; the raw bytes would differ from run to run.
void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.what; }


class ReplyAssembly : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ReplyAssembly, CollectsRepliesUpToTheirTerminator)
{
    EXPECT_EQ(parse(GetParam().stream), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ReplyAssembly,
    ::testing::Values(
        ParseCase{"a sidereal time", "01:23:45#", {"01:23:45"}},
        ParseCase{"two replies back to back", "01:23:45#+12*34'56#", {"01:23:45", "+12*34'56"}},
        ParseCase{"lone terminators are dropped", "##!#", {"!"}},
        ParseCase{"an unterminated reply is not reported", "01:23:45", {}},
        ParseCase{"49 characters are the longest reply", std::string(49, 'x') + "#", {std::string(49, 'x')}},
        ParseCase{"50 characters lose their terminator with them", std::string(50, 'x') + "#ok#", {"ok"}},
        ParseCase{"of a 60-character run the last 9 start a new reply", std::string(50, 'a') + "b" + "123456789#",
                  {"123456789"}},
        ParseCase{"garbage bytes become part of a reply", std::string("\x01\xff" "0#", 4), {"\x01\xff" "0"}}),
    CaseName());

TEST(ResponseParser, ResetForgetsAPartlyCollectedReply)
{
    ResponseParser parser;
    for (char c : std::string("01:2")) parser.accept(static_cast<unsigned char>(c));
    parser.reset();
    std::vector<std::string> replies;
    for (char c : std::string("#01:23:45#")) {
        if (parser.accept(static_cast<unsigned char>(c))) replies.emplace_back(parser.reply(), parser.length());
    }
    EXPECT_EQ(replies, std::vector<std::string>{"01:23:45"});
}

}  // namespace
