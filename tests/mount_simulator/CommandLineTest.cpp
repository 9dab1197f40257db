#include "mount_simulator/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLine::Outcome parse(std::vector<std::string> words, CommandLine& commandLine, std::string& error)
{
    words.insert(words.begin(), "lx200-mount-sim");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    return commandLine.parse(static_cast<int>(argv.size()), argv.data(), error);
}

// The quirks guide-link's --simulate plays, and the rates and noise it cannot set.
TEST(CommandLine, SetsQuirksRatesAndNoise)
{
    CommandLine commandLine;
    std::string error;
    ASSERT_EQ(parse({"--quirk", "lost-ra-stop", "--quirk", "ignores-rg", "--guide-rate", "0.25", "--dec-guide-rate",
                     "2", "--slew-rate", "4", "--reading-noise", "2.5"}, commandLine, error),
              CommandLine::Outcome::Run) << error;
    const MountMotion::Settings& motion = commandLine.behaviour.motion;
    EXPECT_FALSE(motion.rightAscensionStops);
    EXPECT_TRUE(motion.ignoresGuideRate);
    EXPECT_EQ(motion.guideRate, 0.25);
    EXPECT_EQ(motion.declinationGuideRate, 2.0);
    EXPECT_EQ(motion.slewDegreesPerSecond, 4.0);
    EXPECT_EQ(commandLine.behaviour.readingNoiseArcsec, 2.5);
}

TEST(CommandLine, RefusesUnknownQuirksAndRatesThatCannotBe)
{
    const std::vector<std::vector<std::string>> refused = {
        {"--quirk", "sticky"}, {"--guide-rate", "0"}, {"--dec-guide-rate", "-1"}, {"--slew-rate", "fast"},
        {"--reading-noise", "-2"}, {"--quirk"}};
    for (const std::vector<std::string>& words : refused) {
        CommandLine commandLine;
        std::string error;
        EXPECT_EQ(parse(words, commandLine, error), CommandLine::Outcome::Invalid) << words[0];
        EXPECT_NE(error.find(words[0]), std::string::npos) << error;
    }
}

}  // namespace
