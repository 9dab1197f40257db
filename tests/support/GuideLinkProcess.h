#pragma once

#include <memory>
#include <string>
#include <vector>

// The real guide-link program, run as a child process with its output caught in files; on
// POSIX systems any other program the tests run beside it (the simulated mount, an INDI server).
class GuideLinkProcess {
public:
    // Starts guide-link with arguments; the child inherits this process's environment.
    explicit GuideLinkProcess(const std::vector<std::string>& arguments);
#ifndef _WIN32
    // Starts program, found by its path, in the same way.
    GuideLinkProcess(const std::string& program, const std::vector<std::string>& arguments);
#endif
    // Kills a child still running.
    ~GuideLinkProcess();
    GuideLinkProcess(const GuideLinkProcess&) = delete;
    GuideLinkProcess& operator=(const GuideLinkProcess&) = delete;

    bool started() const;
    // Waits at most timeoutMs for the child to end; false (and the child killed) if it did not.
    bool finish(int timeoutMs);

#ifndef _WIN32
    // Sends the running child signalNumber, as a terminal's Ctrl-C or a supervisor would.
    void signal(int signalNumber);
    // The child's process id, to read its figures in /proc.
    int pid() const;
#endif

    int exitCode() const { return exitCode_; }
    std::string out() const;
    std::string err() const;

    // Runs guide-link to its end (at most 3 minutes).
    struct Outcome {
        int exitCode;
        std::string out;
        std::string err;
    };
    static Outcome run(const std::vector<std::string>& arguments);
#ifndef _WIN32
    static Outcome run(const std::string& program, const std::vector<std::string>& arguments);
#endif

    struct Native;

private:
    std::unique_ptr<Native> native_;
    int exitCode_ = -1;
};

// Sets an environment variable of this process, which the children inherit.
void setEnvironment(const std::string& name, const std::string& value);
