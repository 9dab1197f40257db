#include "indi/IndiProperty.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace indi {
namespace {

const double kRefused = std::numeric_limits<double>::quiet_NaN();

const struct {
    const char* text;
    double number;  // NaN where it must be refused
} kNumberCases[] = {
    {"12.5", 12.5},         {"-0.25", -0.25},     {"+3", 3},           {"1e3", 1000},
    {"5:30:00", 5.5},       {"-12:30:36", -12.51}, {"-0:30", -0.5},    {"10 15 00", 10.25},
    {"23;59;60", 24},       {"12:30.5", 12 + 30.5 / 60},
    {"", kRefused},         {"abc", kRefused},    {"1.5x", kRefused},  {"12:-30", kRefused},
    {"1:2:3:4", kRefused},  {":30", kRefused},    {"nan", kRefused},   {"inf", kRefused},
};

TEST(IndiPropertyTest, ReadsDecimalAndSexagesimalNumbers)
{
    for (const auto& test : kNumberCases) {
        SCOPED_TRACE(test.text);
        double number = kRefused;
        ASSERT_EQ(parseIndiNumber(test.text, number), !std::isnan(test.number));
        if (!std::isnan(test.number)) {
            EXPECT_NEAR(number, test.number, 1e-9);
        }
    }
}

TEST(IndiPropertyTest, WritesNumbersThatReadBackExactly)
{
    for (double value : {0.0, 2000.0, -12.5, 15.59703451746664804, 1e-7, 89.999478750386955994}) {
        double back = kRefused;
        ASSERT_TRUE(parseIndiNumber(formatIndiNumber(value), back)) << formatIndiNumber(value);
        EXPECT_EQ(back, value);
    }
}

}  // namespace
}  // namespace indi
