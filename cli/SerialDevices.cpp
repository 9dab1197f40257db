#include "cli/SerialDevices.h"

#include <cctype>
#include <cstdlib>

namespace devices {

const char* problemName(OpenProblem::Kind kind)
{
    switch (kind) {
    case OpenProblem::Missing:
        return "missing";
    case OpenProblem::PermissionDenied:
        return "permission-denied";
    case OpenProblem::Busy:
        return "busy";
    case OpenProblem::NotSerial:
        return "not-serial";
    case OpenProblem::Unknown:
        break;
    }
    return "cannot-open";
}

bool naturalLess(const std::string& a, const std::string& b)
{
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t iEnd = i, jEnd = j;
            while (iEnd < a.size() && digit(a[iEnd])) ++iEnd;
            while (jEnd < b.size() && digit(b[jEnd])) ++jEnd;
            const unsigned long x = std::strtoul(a.substr(i, iEnd - i).c_str(), nullptr, 10);
            const unsigned long y = std::strtoul(b.substr(j, jEnd - j).c_str(), nullptr, 10);
            if (x != y) return x < y;
            i = iEnd;
            j = jEnd;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> splitList(const std::string& list, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(separator, start);
        if (end == std::string::npos) end = list.size();
        if (end > start) parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace devices
