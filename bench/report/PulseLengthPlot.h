#pragma once

#include "bench/Report.h"
#include "bench/report/BuildResults.h"

namespace bench::report {

// Writes the pulse length errors of the builds with pulses to options.plotData, and the gnuplot
// script that draws them into options.image to options.plotScript.
void writePulseLengthPlot(const ReportOptions& options, const Builds& builds);

}  // namespace bench::report
