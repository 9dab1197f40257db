// What the front ends compute before they call the link or show a status.
#include <gtest/gtest.h>

#include <string>

#include "link/PulseLength.h"
#include "link/StatusText.h"

namespace {

std::u16string textOf(int code)
{
    const char16_t* text = statusText(code);
    return text ? text : u"(none)";
}

TEST(StatusText, EachCodeHasItsLineAndOthersNone)
{
    EXPECT_EQ(textOf(1), u"Connecting... Please wait.");
    EXPECT_EQ(textOf(2), u"Error: Cannot open port");
    EXPECT_EQ(textOf(3), u"Connection failed: Timeout");
    EXPECT_EQ(textOf(4), u"Error: Already connected");
    EXPECT_EQ(textOf(5), u"Communication error");
    EXPECT_EQ(textOf(6), u"Error: Not connected yet.");
    EXPECT_EQ(textOf(7), u"Ready");
    EXPECT_EQ(textOf(8), u"Sending correction pulse.");
    EXPECT_EQ(textOf(9), u"Connection closed");
    EXPECT_EQ(textOf(0), u"(none)");
    EXPECT_EQ(textOf(10), u"(none)");
    EXPECT_EQ(textOf(-1), u"(none)");
    // Only the low 16 bits count.
    EXPECT_EQ(textOf(0x10007), u"Ready");
    EXPECT_EQ(textOf(0x10000), u"(none)");
}

TEST(PulseLength, FieldValuesBecomeTwoToFiftyTicks)
{
    struct Case {
        unsigned field;
        int ms;
        bool corrected;
        int ticks;
    };
    const Case cases[] = {
        {1000, 1000, false, 10}, {150, 200, true, 2},      {0, 200, true, 2},  // 0: empty or not a number
        {199, 200, true, 2},     {200, 200, false, 2},     {1299, 1299, false, 12},
        {5000, 5000, false, 50}, {5001, 5000, true, 50},   {2147483648u, 200, true, 2},  // negative as signed
        {4294967295u, 200, true, 2},
    };
    for (const Case& c : cases) {
        const PulseLength pulse = PulseLength::fromField(c.field);
        EXPECT_EQ(pulse.ms, c.ms) << c.field;
        EXPECT_EQ(pulse.corrected, c.corrected) << c.field;
        EXPECT_EQ(pulse.ticks(), c.ticks) << c.field;
    }
}

}  // namespace
