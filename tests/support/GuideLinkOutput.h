#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// What guide-link's tests over a serial line share: the ends of the line by the names
// guide-link takes, and ways to read what it printed.

// COM ports under Wine, the paths tests/line/with-serial-pair.sh made elsewhere.
std::string linkEnd();
std::string absentEnd();

::testing::AssertionResult contains(const std::string& text, const std::string& part);
::testing::AssertionResult lacks(const std::string& text, const std::string& part);

// Every line of out as JSON; a line that is none fails the test.
std::vector<nlohmann::json> events(const std::string& out);
std::vector<nlohmann::json> eventsOfKind(const std::vector<nlohmann::json>& all, const std::string& kind);
