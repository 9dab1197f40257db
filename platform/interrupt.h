#pragma once

#include <atomic>

// A request from outside to stop: Ctrl-C, SIGTERM from a supervisor, SIGHUP from a session that
// dropped; on Windows Ctrl-C, Ctrl-Break and closing the console. The handlers only count them;
// guide-link's own waits look at the count at least every 100 ms and leave by the one way out,
// which sends the stop of every pulse still running. No request ends the program by itself.
namespace interrupt {

// Installs the handlers; once, at the start of main.
void install();

// Whether a stop has been asked for: from outside, or for this thread's work alone (below);
// any thread.
bool requested();
// Whether it has been asked for more than once: waits on the way out may then be cut short,
// though never the sending of the stops.
bool insisted();

// Counts one request; all a handler does, and safe inside one.
void record();

// While it lives, a stop asked by setting flag is a request for the work of the thread that made
// it, as one from outside is for all (serve's Stop button, for the motion check it runs): the
// same waits notice it and leave by the same way out. flag must outlive it.
class ThreadStop {
public:
    explicit ThreadStop(const std::atomic<bool>& flag);
    ~ThreadStop();
    ThreadStop(const ThreadStop&) = delete;
    ThreadStop& operator=(const ThreadStop&) = delete;
};

}  // namespace interrupt
