#pragma once

#include <string>
#include <utility>

namespace bench::report {

// How to run the benchmark again, and what it leaves where.
class ReproducingSection {
public:
    // imageLink: the plot, as the report refers to it.
    explicit ReproducingSection(std::string imageLink) : imageLink_(std::move(imageLink)) {}

    std::string text() const;

private:
    const std::string imageLink_;
};

}  // namespace bench::report
