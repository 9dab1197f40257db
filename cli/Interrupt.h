#pragma once

// A request from outside to stop: Ctrl-C, SIGTERM from a supervisor, SIGHUP from a session that
// dropped; on Windows Ctrl-C, Ctrl-Break and closing the console. The handlers only count them;
// guide-link's own waits look at the count at least every 100 ms and leave by the one way out,
// which sends the stop of every pulse still running. No request ends the program by itself.
namespace interrupt {

// Installs the handlers; once, at the start of main.
void install();

// Whether a stop has been asked for; any thread.
bool requested();
// Whether it has been asked for more than once: waits on the way out may then be cut short,
// though never the sending of the stops.
bool insisted();

// Counts one request; all a handler does, and safe inside one.
void record();

}  // namespace interrupt
