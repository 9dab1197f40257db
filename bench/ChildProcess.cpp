#include "bench/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "bench/Clock.h"

extern char** environ;

namespace bench {
namespace {

constexpr int kEndWaitMs = 10000;

std::vector<std::string> environmentWith(const std::vector<std::string>& additions)
{
    std::map<std::string, std::string> entries;
    auto add = [&entries](const std::string& entry) {
        const std::size_t equals = entry.find('=');
        if (equals != std::string::npos) entries[entry.substr(0, equals)] = entry;
    };
    for (char** entry = environ; *entry; ++entry) add(*entry);
    for (const std::string& entry : additions) add(entry);
    std::vector<std::string> result;
    for (const auto& entry : entries) result.push_back(entry.second);
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& command, const Options& options,
                                                  std::string& error)
{
    // Everything the child needs is prepared here: between fork and exec a threaded program may
    // only make plain system calls.
    std::vector<std::string> arguments = command;
    std::vector<std::string> environment = environmentWith(options.environment);
    std::vector<char*> argv = pointersTo(arguments);
    std::vector<char*> envp = pointersTo(environment);

    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (options.pipes && (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)) {
        error = std::string("pipe: ") + std::strerror(errno);
        return nullptr;
    }
    const int nowhere = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        return nullptr;
    }
    if (pid == 0) {
        ::dup2(options.pipes ? toChild[0] : nowhere, STDIN_FILENO);
        ::dup2(options.pipes ? fromChild[1] : nowhere, STDOUT_FILENO);
        ::dup2(nowhere, STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(nowhere);
    if (!options.pipes) return std::unique_ptr<ChildProcess>(new ChildProcess(pid, -1, -1));
    ::close(toChild[0]);
    ::close(fromChild[1]);
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid, toChild[1], fromChild[0]));
}

ChildProcess::~ChildProcess()
{
    closeInput();
    if (output_ >= 0) ::close(output_);
    if (!waitForExit(kEndWaitMs)) {
        ::kill(pid_, SIGTERM);
        waitForExit(kEndWaitMs);
    }
}

bool ChildProcess::send(const std::string& line)
{
    if (input_ < 0) return false;
    const std::string text = line + "\n";
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t written = ::write(input_, text.data() + sent, text.size() - sent);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        sent += static_cast<std::size_t>(written);
    }
    return true;
}

bool ChildProcess::receive(std::string& line, int timeoutMs)
{
    if (output_ < 0) return false;
    const double deadline = nowMs() + timeoutMs;
    for (;;) {
        const std::size_t end = buffered_.find('\n');
        if (end != std::string::npos) {
            line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        const double left = deadline - nowMs();
        if (left <= 0) return false;
        pollfd entry{output_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char chunk[4096];
        const ssize_t got = ::read(output_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buffered_.append(chunk, static_cast<std::size_t>(got));
    }
}

void ChildProcess::closeInput()
{
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

bool ChildProcess::waitForExit(int timeoutMs)
{
    const double deadline = nowMs() + timeoutMs;
    while (!ended_) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno == ECHILD)) {
            ended_ = true;
            break;
        }
        if (nowMs() >= deadline) return false;
        sleepMs(10);
    }
    return true;
}

}  // namespace bench
