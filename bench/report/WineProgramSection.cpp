#include "bench/report/WineProgramSection.h"

#include <string>

#include "bench/report/NumberText.h"

namespace bench::report {

void WineProgramSection::addRows(FigureTable& table) const
{
    const BuildResults& wine = builds_.wine;
    if (!wine.present) return;
    if (wine.sizeBytes > 0) {
        table.add({"Size of guide-link-tester.exe", "Wine",
                   fixed(wine.sizeBytes / 1024, 0) + " KiB (" + grouped(wine.sizeBytes) + " bytes)", "-", "-", "-"});
    }
    if (!wine.launchesMs.empty()) {
        table.add({"Launch to dialog on screen, wineserver already running", "Wine",
                   medianRange(wine.launchesMs, 0, "ms", std::to_string(wine.launchesMs.size()) + " launches"), "-",
                   "-", "-"});
    }
}

}  // namespace bench::report
