#include "lx200/ReplyShape.h"

#include <gtest/gtest.h>

#include <string>

#include "support/CaseName.h"

namespace {

ReplyShape shapeOf(const std::string& reply) { return shapeOfReply(reply.data(), static_cast<int>(reply.size())); }

std::string twoDigits(int value) { return std::string(1, char('0' + value / 10)) + char('0' + value % 10); }

TEST(ReplyShape, EveryHourOfTheDayIsALongTime)
{
    for (int hour = 0; hour < 24; ++hour) {
        EXPECT_EQ(shapeOf(twoDigits(hour) + ":59:00"), ReplyShape::LongTime) << hour;
        EXPECT_EQ(shapeOf(twoDigits(hour) + ":00:59"), ReplyShape::LongTime) << hour;
        EXPECT_EQ(shapeOf(twoDigits(hour) + ":34.5"), ReplyShape::ShortTime) << hour;
    }
}

TEST(ReplyShape, EveryDegreeOfBothSignsIsALongDeclination)
{
    for (int degrees = 0; degrees < 90; ++degrees) {
        for (const char* sign : {"+", "-"}) {
            EXPECT_EQ(shapeOf(sign + twoDigits(degrees) + "*59'59"), ReplyShape::LongDeclination) << sign << degrees;
            EXPECT_EQ(shapeOf(sign + twoDigits(degrees) + "*30"), ReplyShape::ShortDeclination) << sign << degrees;
        }
    }
}

TEST(ReplyShape, OnlyTheReplysOwnCharactersCount)
{
    // The parser's buffer holds whatever an earlier reply left past the end of this one.
    EXPECT_EQ(shapeOfReply("+12*34'56", 8), ReplyShape::Unrecognised);
    EXPECT_EQ(shapeOfReply("12:34:56", 7), ReplyShape::Unrecognised);
    EXPECT_EQ(shapeOfReply("+12*3456", 5), ReplyShape::Unrecognised);
    EXPECT_EQ(shapeOfReply("12:34.56", 6), ReplyShape::Unrecognised);
}

struct ShapeCase {
    const char* what;
    std::string reply;
    ReplyShape shape;
};
void PrintTo(const ShapeCase& c, std::ostream* out) { *out << c.what; }

class Shapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(Shapes, AreToldApart) { EXPECT_EQ(shapeOf(GetParam().reply), GetParam().shape) << GetParam().what; }

const std::string kDegreeSign = "\xDF";

INSTANTIATE_TEST_SUITE_P(
    Replies, Shapes,
    ::testing::Values(
        ShapeCase{"midnight", "00:00:00", ReplyShape::LongTime},
        ShapeCase{"the last second of the day", "23:59:59", ReplyShape::LongTime},
        ShapeCase{"hour 24", "24:00:00", ReplyShape::Unrecognised},
        ShapeCase{"minute 60", "12:60:00", ReplyShape::Unrecognised},
        ShapeCase{"second 60", "12:00:60", ReplyShape::Unrecognised},
        ShapeCase{"a letter in the hours", "1a:00:00", ReplyShape::Unrecognised},
        ShapeCase{"a letter in the seconds", "12:00:0x", ReplyShape::Unrecognised},
        ShapeCase{"a time with dots", "12.00.00", ReplyShape::Unrecognised},
        ShapeCase{"a time one character short", "12:00:0", ReplyShape::Unrecognised},
        ShapeCase{"a time one character long", "12:00:000", ReplyShape::Unrecognised},
        ShapeCase{"a short time with a letter for tenths", "12:34.x", ReplyShape::Unrecognised},
        ShapeCase{"a declination with the degree sign byte", "+45" + kDegreeSign + "30'15", ReplyShape::LongDeclination},
        ShapeCase{"a declination with a colon for the minutes mark", "+45*30:15", ReplyShape::LongDeclination},
        ShapeCase{"a declination with the degree sign byte and a colon", "-45" + kDegreeSign + "30:15",
                  ReplyShape::LongDeclination},
        ShapeCase{"the pole", "+90*00'00", ReplyShape::LongDeclination},
        ShapeCase{"the south pole", "-90*00'00", ReplyShape::LongDeclination},
        ShapeCase{"past the pole by a second", "+90*00'01", ReplyShape::Unrecognised},
        ShapeCase{"past the pole by a minute", "+90*01'00", ReplyShape::Unrecognised},
        ShapeCase{"91 degrees", "+91*00'00", ReplyShape::Unrecognised},
        ShapeCase{"a declination without its sign", "045*30'15", ReplyShape::Unrecognised},
        ShapeCase{"a declination of eight characters", "+12*34'5", ReplyShape::Unrecognised},
        ShapeCase{"a declination of ten characters", "+12*34'567", ReplyShape::Unrecognised},
        ShapeCase{"a declination with a space for its degree mark", "+12 34'56", ReplyShape::Unrecognised},
        ShapeCase{"a declination with a dot for its minutes mark", "+12*34.56", ReplyShape::Unrecognised},
        ShapeCase{"declination minutes of 60", "+12*60'00", ReplyShape::Unrecognised},
        ShapeCase{"declination seconds of 60", "+12*00'60", ReplyShape::Unrecognised},
        ShapeCase{"a short declination with the degree sign byte", "-07" + kDegreeSign + "15",
                  ReplyShape::ShortDeclination},
        ShapeCase{"a short declination past the pole", "+90*30", ReplyShape::Unrecognised},
        ShapeCase{"a lone exclamation mark", "!", ReplyShape::MountError},
        ShapeCase{"an error with a message", "!12:00:00", ReplyShape::MountError},
        ShapeCase{"a time in nine characters of garbage", "GARBAGE!!", ReplyShape::Unrecognised},
        ShapeCase{"thirty-two spaces", std::string(32, ' '), ReplyShape::Unrecognised},
        ShapeCase{"a single digit", "0", ReplyShape::Unrecognised}),
    CaseName());

}  // namespace
