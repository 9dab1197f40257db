#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace bench {

// A program the benchmark starts: the Windows programs under Wine, and the benchmark itself
// holding a link open for the idle measurement. With pipes, the child's standard input and output
// are lines the benchmark writes and reads; without, they lead nowhere. Its standard error is
// discarded either way.
class ChildProcess {
public:
    struct Options {
        bool pipes = false;
        // NAME=value entries set in the child's environment on top of the benchmark's own.
        std::vector<std::string> environment;
    };

    // command[0] is the program's path. Null, with the reason in error, if it could not start.
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& command, const Options& options,
                                               std::string& error);

    // Closes the pipes; a child still running then gets SIGTERM and is waited for.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Writes line and a line feed to the child's input.
    bool send(const std::string& line);
    // Reads one line of the child's output, without its line end; false at the end of the output
    // or when none came within timeoutMs.
    bool receive(std::string& line, int timeoutMs);
    void closeInput();

    // Waits up to timeoutMs for the child to end; true once it has.
    bool waitForExit(int timeoutMs);

private:
    ChildProcess(pid_t pid, int input, int output) : pid_(pid), input_(input), output_(output) {}

    pid_t pid_;
    int input_;
    int output_;
    std::string buffered_;
    bool ended_ = false;
};

}  // namespace bench
