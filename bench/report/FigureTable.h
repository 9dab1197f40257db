#pragma once

#include <string>
#include <utility>
#include <vector>

namespace bench::report {

// The table of figures at the head of the report, also printed at the end of a run: one row for
// each figure and build, beside the bound the link is designed to.
class FigureTable {
public:
    struct Row {
        std::string what;
        std::string build;
        std::string measured;
        std::string bound;
        std::string ratio;
        std::string within;
    };

    void add(Row row) { rows_.push_back(std::move(row)); }
    std::string markdown() const;
    // The table under its heading.
    std::string section() const { return "## Figures\n\n" + markdown() + "\n"; }

private:
    std::vector<Row> rows_;
};

}  // namespace bench::report
