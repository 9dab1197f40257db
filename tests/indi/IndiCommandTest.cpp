#include "indi/IndiCommand.h"

#include <gtest/gtest.h>

namespace indi {
namespace {

TEST(IndiCommandTest, EscapesEveryMarkupCharacter)
{
    EXPECT_EQ(IndiCommand::escaped("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
}

TEST(IndiCommandTest, WritesRequestsWithEscapedNames)
{
    EXPECT_EQ(IndiCommand::newNumberVector("Scope \"A\"", "TELESCOPE_TIMED_GUIDE_NS",
                                           {{"TIMED_GUIDE_N", 2000}, {"TIMED_GUIDE_S", 0}}),
              "<newNumberVector device=\"Scope &quot;A&quot;\" name=\"TELESCOPE_TIMED_GUIDE_NS\">\n"
              "  <oneNumber name=\"TIMED_GUIDE_N\">2000</oneNumber>\n"
              "  <oneNumber name=\"TIMED_GUIDE_S\">0</oneNumber>\n"
              "</newNumberVector>\n");
    EXPECT_EQ(IndiCommand::newSwitchVector("A&B", "Use Pulse Cmd", {{"On", true}, {"Off", false}}),
              "<newSwitchVector device=\"A&amp;B\" name=\"Use Pulse Cmd\">\n"
              "  <oneSwitch name=\"On\">On</oneSwitch>\n"
              "  <oneSwitch name=\"Off\">Off</oneSwitch>\n"
              "</newSwitchVector>\n");
}

}  // namespace
}  // namespace indi
