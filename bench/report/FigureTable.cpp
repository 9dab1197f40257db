#include "bench/report/FigureTable.h"

namespace bench::report {

std::string FigureTable::markdown() const
{
    std::string table = "| Figure | Build | Measured | Bound | Ratio | Within |\n|---|---|---|---|---|---|\n";
    for (const Row& row : rows_) {
        table += "| " + row.what + " | " + row.build + " | " + row.measured + " | " + row.bound + " | " + row.ratio +
                 " | " + row.within + " |\n";
    }
    return table;
}

}  // namespace bench::report
