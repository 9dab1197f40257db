// INDI's generic LX200 driver, the real one from the system's indi-bin, run by a real indiserver
// against lx200-mount-sim over TCP: it must connect, read the position and guide the mount.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/GuideLinkProcess.h"
#include "support/CaseName.h"

namespace {

const std::string kDevice = "Standard LX200";  // the name the generic driver gives itself
// Each wait is for a condition; the limit only stops a test that would otherwise hang.
constexpr int kGenerousMs = 30000;

// The program's path, found on PATH as a shell would; "" if it is not there.
std::string onPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + program;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// A loopback port no one is listening on now.
int freePort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(probe);
    return bound ? ntohs(address.sin_port) : 0;
}

bool waitFor(const std::function<bool()>& condition)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// The seconds of the first transcript line that is command, after the line from; -1 if none.
double heardAt(const std::string& transcript, const std::string& command, double from = -1)
{
    std::istringstream lines(transcript);
    for (std::string line; std::getline(lines, line);) {
        double seconds = 0;
        char text[64] = {};
        if (std::sscanf(line.c_str(), "%lf %63s", &seconds, text) == 2 && command == text && seconds > from) {
            return seconds;
        }
    }
    return -1;
}

// One indiserver with the generic LX200 driver, on a port and a local socket of its own (two
// servers on the default socket would take each other's), its settings kept in a folder of its own.
class IndiServer {
public:
    IndiServer()
    {
        char folder[] = "/tmp/indi-lx200-test.XXXXXX";
        if (!::mkdtemp(folder)) return;
        folder_ = folder;
        port_ = std::to_string(freePort());
        // The driver reads and writes its settings here, never in the user's ~/.indi.
        setEnvironment("INDICONFIG", folder_ + "/driver-config.xml");
        server_ = std::make_unique<GuideLinkProcess>(
            onPath("indiserver"), std::vector<std::string>{"-u", folder_ + "/indiserver.sock", "-p", port_,
                                                           "indi_lx200generic"});
    }
    ~IndiServer()
    {
        if (server_ && server_->started()) {
            server_->signal(SIGTERM);
            server_->finish(kGenerousMs);
        }
        server_.reset();
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }

    // "Standard LX200.CONNECTION.CONNECT=On" and the like, for the elements asked for.
    std::string get(const std::string& property) const
    {
        return GuideLinkProcess::run(onPath("indi_getprop"), {"-p", port_, "-t", "2", kDevice + "." + property}).out;
    }
    bool set(const std::string& assignment) const
    {
        return GuideLinkProcess::run(onPath("indi_setprop"), {"-p", port_, kDevice + "." + assignment}).exitCode == 0;
    }
    std::string log() const { return server_ ? server_->err() : ""; }

private:
    std::string folder_;
    std::string port_;
    std::unique_ptr<GuideLinkProcess> server_;
};

struct PulseSetting {
    const char* what;
    const char* usePulseCmd;           // the driver's switch: "On" or "Off"
    std::vector<std::string> heard;    // by the mount, in this order, from the guide pulse
};
void PrintTo(const PulseSetting& c, std::ostream* out) { *out << c.what; }

class IndiLx200Driver : public ::testing::TestWithParam<PulseSetting> {};

TEST_P(IndiLx200Driver, ConnectsOverTcpAndGuidesNorth)
{
    for (const char* program : {"indiserver", "indi_lx200generic", "indi_getprop", "indi_setprop"}) {
        if (onPath(program).empty()) {
            GTEST_SKIP() << program << " is not installed (Debian: apt-get install indi-bin)";
        }
    }
    const PulseSetting& c = GetParam();
    GuideLinkProcess mount(MOUNT_SIMULATOR_PROGRAM, {"--tcp", "127.0.0.1:0"});
    std::string port;
    ASSERT_TRUE(waitFor([&] {
        const std::string out = mount.out();
        const std::string prefix = "tcp://127.0.0.1:";
        const std::size_t at = out.find(prefix);
        if (at != std::string::npos) port = out.substr(at + prefix.size(), out.find('\n', at) - at - prefix.size());
        return !port.empty();
    })) << mount.err();
    IndiServer indi;
    ASSERT_TRUE(waitFor([&] { return indi.get("CONNECTION.CONNECT").find("=Off") != std::string::npos; })) << indi.log();

    ASSERT_TRUE(indi.set("CONNECTION_MODE.CONNECTION_TCP=On"));
    ASSERT_TRUE(indi.set("DEVICE_ADDRESS.ADDRESS;PORT=127.0.0.1;" + port));
    ASSERT_TRUE(indi.set("CONNECTION.CONNECT=On"));
    // 02:34:56 and +12*34'56, where the simulated mount begins, in hours and degrees.
    ASSERT_TRUE(waitFor([&] {
        return indi.get("EQUATORIAL_EOD_COORD.RA").find(".RA=2.58222") != std::string::npos;
    })) << mount.out() << indi.log();
    EXPECT_NE(indi.get("CONNECTION.CONNECT").find("=On"), std::string::npos);
    EXPECT_NE(indi.get("EQUATORIAL_EOD_COORD.DEC").find(".DEC=12.58222"), std::string::npos);

    ASSERT_TRUE(indi.set(std::string("Use Pulse Cmd.") + c.usePulseCmd + "=On"));
    ASSERT_TRUE(indi.set("TELESCOPE_TIMED_GUIDE_NS.TIMED_GUIDE_N;TIMED_GUIDE_S=1000;0"));
    std::vector<double> times;
    ASSERT_TRUE(waitFor([&] {
        times.clear();
        double after = -1;
        for (const std::string& command : c.heard) {
            after = heardAt(mount.out(), command, after);
            if (after < 0) return false;
            times.push_back(after);
        }
        return true;
    })) << mount.out();
    // A stop the computer times comes after the pulse's second, give or take the load's delays.
    if (times.size() == 2) {
        EXPECT_GT(times[1] - times[0], 0.8) << mount.out();
        EXPECT_LT(times[1] - times[0], 5.0) << mount.out();
    }
    // The driver asked nothing the mount left unanswered for want of understanding it.
    EXPECT_EQ(mount.out().find("not understood"), std::string::npos) << mount.out();
    EXPECT_EQ(mount.out().find("stray bytes"), std::string::npos) << mount.out();

    ASSERT_TRUE(indi.set("CONNECTION.DISCONNECT=On"));
    mount.signal(SIGTERM);
    ASSERT_TRUE(mount.finish(kGenerousMs));
    EXPECT_EQ(mount.exitCode(), 0) << mount.err();
}

INSTANTIATE_TEST_SUITE_P(PulseSettings, IndiLx200Driver,
                         ::testing::Values(PulseSetting{"pulse command on", "On", {":Mgn1000#"}},
                                           PulseSetting{"timed by the computer", "Off", {":Mn#", ":Qn#"}}),
                         CaseName());

}  // namespace
