#include "support/GuideLinkOutput.h"

#include <cstdlib>

#include "support/SerialLinePair.h"

using Json = nlohmann::json;

#ifdef _WIN32
std::string linkEnd() { return "COM" + std::to_string(SerialLinePair::kLinkPort); }
std::string absentEnd() { return "COM" + std::to_string(SerialLinePair::kAbsentPort); }
#else
namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string linkEnd() { return environment("SERIAL_PAIR_LINK"); }
std::string absentEnd() { return environment("SERIAL_PAIR_ABSENT"); }
#endif

::testing::AssertionResult contains(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

::testing::AssertionResult lacks(const std::string& text, const std::string& part)
{
    if (text.find(part) == std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << part << "\" in:\n" << text;
}

std::vector<Json> events(const std::string& out)
{
    std::vector<Json> parsed;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        const Json event = Json::parse(line, nullptr, false);
        EXPECT_FALSE(event.is_discarded()) << "not JSON: " << line;
        EXPECT_TRUE(event.contains("event")) << line;
        if (!event.is_discarded()) parsed.push_back(event);
    }
    return parsed;
}

std::vector<Json> eventsOfKind(const std::vector<Json>& all, const std::string& kind)
{
    std::vector<Json> chosen;
    for (const Json& event : all) {
        if (event.value("event", "") == kind) chosen.push_back(event);
    }
    return chosen;
}
