#pragma once

#include <string>
#include <vector>

namespace bench::report {

// A figure beyond its bound: which build, which kind of figure, and what was seen. An entry
// without text only asks for the explanation of its kind.
struct Miss {
    std::string build;
    std::string kind;  // "pulse", "extra tick", "just short", "lost tick", "latency", ...
    std::string text;
};

using Misses = std::vector<Miss>;

bool missed(const Misses& misses, const std::string& kind);
// The misses with text, one "- " line each.
std::string missList(const Misses& misses);

}  // namespace bench::report
