#include "IndiServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <cstdlib>


namespace {

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

}  // namespace

bool IndiServer::installed(const std::vector<std::string>& programs)
{
    for (const std::string& program : programs) {
        if (std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) != 0) return false;
    }
    return true;
}

IndiServer::IndiServer(const std::vector<std::string>& drivers)
{
    char folder[] = "/tmp/indi-test.XXXXXX";
    if (!::mkdtemp(folder)) return;
    folder_ = folder;
    port_ = freePort();
    // The drivers, orphaned when the server is killed, come to this process to be reaped.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::setpgid(0, 0);
    // A test that crashes takes its server with it; the drivers follow on their input's end.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::setenv("HOME", folder_.c_str(), 1);
    ::setenv("INDICONFIG", (folder_ + "/driver-config.xml").c_str(), 1);
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, 1);
    ::dup2(quiet, 2);
    std::vector<std::string> words{"indiserver", "-u", folder_ + "/indiserver.sock", "-p", std::to_string(port_)};
    words.insert(words.end(), drivers.begin(), drivers.end());
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    arguments.push_back(nullptr);
    ::execvp("indiserver", arguments.data());
    ::_exit(127);
}

IndiServer::~IndiServer()
{
    kill();
    if (!folder_.empty()) std::system(("rm -rf '" + folder_ + "'").c_str());
}

void IndiServer::kill()
{
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    while (::waitpid(-pid_, nullptr, 0) > 0) {
    }
    pid_ = -1;
}

std::string IndiServer::get(const std::string& property) const
{
    std::string out;
    const std::string command = "indi_getprop -p " + std::to_string(port_) + " -t 2 '" + property + "' 2>/dev/null";
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[512];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, got);
        ::pclose(pipe);
    }
    return out;
}

bool IndiServer::set(const std::string& assignment) const
{
    const std::string command = "indi_setprop -p " + std::to_string(port_) + " '" + assignment + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

double siderealHours()
{
    const double days =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() / 86400.0 - 10957.5;
    return std::fmod(18.697374558 + 24.06570982441908 * days, 24.0);
}

bool waitFor(const std::function<bool()>& condition, int limitMs)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}
