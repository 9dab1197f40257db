// guide-link-bench: measures the guide link's timing, throughput and idle cost against the
// figures it is designed to, natively and as the real Windows program under Wine, and writes the
// report. tools/run-benchmark.sh sets up the serial line, the display and the Wine prefix, and
// runs the steps in order.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "bench/NativeBench.h"
#include "bench/Report.h"
#include "bench/WineBench.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  guide-link-bench native --link DEVICE --mount DEVICE --results FILE [--quick]\n"
    "  guide-link-bench wine --link DEVICE --mount DEVICE --results FILE --wine-run SCRIPT\n"
    "                        --prefix DIR --tester EXE --driver EXE [--quick]\n"
    "  guide-link-bench report --native FILE --wine FILE --markdown FILE --plot-data FILE\n"
    "                        --plot-script FILE --image FILE --image-link PATH [--started EPOCH]\n"
    "                        [--machine TEXT] [--quick]\n"
    "\n"
    "native  measures the link built for this machine against a simulated mount on DEVICE\n"
    "        (the mount's end of a serial line whose other end is the link's DEVICE)\n"
    "wine    measures the Windows program under Wine, the line's link end shown as COM1\n"
    "report  turns both result files into the Markdown report and the plot's data and script,\n"
    "        and prints the table of figures\n";

// The options after the step's name: --name value pairs, and --quick alone.
bool parseOptions(int argc, char** argv, std::map<std::string, std::string>& options)
{
    for (int i = 2; i < argc; ++i) {
        const std::string name = argv[i];
        if (name.compare(0, 2, "--") != 0) return false;
        if (name == "--quick") {
            options[name] = "1";
            continue;
        }
        if (i + 1 == argc) return false;
        options[name] = argv[++i];
    }
    return true;
}

std::string selfPath()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    path[length] = '\0';
    return path;
}

}  // namespace

int main(int argc, char** argv)
{
    // A child that ends early must not take the benchmark with it through a broken pipe.
    ::signal(SIGPIPE, SIG_IGN);
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::string step = argv[1];
    if (step == "idle-link" && argc == 3) return bench::runIdleLink(argv[2]);

    std::map<std::string, std::string> options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    auto option = [&options](const char* name) { return options.count(name) ? options[name] : std::string(); };
    const bool quick = options.count("--quick") != 0;

    if (step == "native") {
        bench::NativeOptions native{option("--link"), option("--mount"), option("--results"), selfPath(), quick};
        if (native.linkDevice.empty() || native.mountDevice.empty() || native.results.empty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return bench::runNativeBench(native);
    }
    if (step == "wine") {
        bench::WineOptions wine{option("--link"),   option("--mount"),  option("--results"), option("--wine-run"),
                                option("--prefix"), option("--tester"), option("--driver"),  quick};
        if (wine.linkDevice.empty() || wine.mountDevice.empty() || wine.results.empty() || wine.wineRun.empty() ||
            wine.prefix.empty() || wine.tester.empty() || wine.driver.empty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return bench::runWineBench(wine);
    }
    if (step == "report") {
        bench::ReportOptions report;
        report.nativeResults = option("--native");
        report.wineResults = option("--wine");
        report.markdown = option("--markdown");
        report.plotData = option("--plot-data");
        report.plotScript = option("--plot-script");
        report.image = option("--image");
        report.imageLink = option("--image-link");
        report.machine = option("--machine");
        report.startedEpoch = option("--started").empty() ? 0 : std::stol(option("--started"));
        report.quick = quick;
        if (report.markdown.empty() || report.plotData.empty() || report.plotScript.empty() || report.image.empty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return bench::writeReport(report);
    }
    std::fputs(kUsage, stderr);
    return 2;
}
