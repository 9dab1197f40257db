#include "lx200/PositionText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/CaseName.h"

namespace {

struct TextCase {
    const char* what;
    std::string text;
    std::optional<double> value;
};
void PrintTo(const TextCase& c, std::ostream* out) { *out << c.what; }

class Times : public ::testing::TestWithParam<TextCase> {};
TEST_P(Times, AreReadInTheLongFormatOnly) { EXPECT_EQ(sky::readLongTime(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    LongFormat, Times,
    ::testing::Values(TextCase{"with its hash", "02:34:56#", 9296.0}, TextCase{"without", "23:59:59", 86399.0},
                      TextCase{"the short format", "02:34.9#", std::nullopt},
                      TextCase{"a declination", "+12*34'56#", std::nullopt}),
    CaseName());

class Declinations : public ::testing::TestWithParam<TextCase> {};
TEST_P(Declinations, AreReadInTheLongFormatOnly)
{
    EXPECT_EQ(sky::readLongDeclination(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    LongFormat, Declinations,
    ::testing::Values(TextCase{"north", "+12*34'56#", 45296.0}, TextCase{"south", "-30*00'01#", -108001.0},
                      TextCase{"with the degree sign byte and a colon", "-45\xdf" "30:15", -163815.0},
                      TextCase{"the short format", "+12*34#", std::nullopt},
                      TextCase{"a time", "02:34:56#", std::nullopt}),
    CaseName());

TEST(PositionText, WritesWhatTheMountHasPassedAndNoMore)
{
    EXPECT_EQ(sky::longTime(9296.99), "02:34:56#");
    EXPECT_EQ(sky::longTime(-1.0), "23:59:59#");
    EXPECT_EQ(sky::longTime(86400.5), "00:00:00#");
    EXPECT_EQ(sky::shortTime(9296.0), "02:34.9#");
    EXPECT_EQ(sky::longDeclination(-0.5), "-00*00'00#");
    EXPECT_EQ(sky::longDeclination(45296.7), "+12*34'56#");
    EXPECT_EQ(sky::longDeclination(400000.0), "+90*00'00#");
    EXPECT_EQ(sky::shortDeclination(-108001.0), "-30*00#");
}

TEST(PositionText, TakesTheShortWayRoundMidnight)
{
    EXPECT_DOUBLE_EQ(sky::timeBetween(86399.0, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(sky::timeBetween(1.0, 86399.0), -2.0);
    EXPECT_DOUBLE_EQ(sky::timeBetween(100.0, 50.0), -50.0);
}

}  // namespace
