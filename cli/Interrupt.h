#pragma once

// Ctrl-C (and SIGTERM where there is one) asks guide-link to stop: a pulse under way is let
// run to its stop command, then the port is closed. A second one ends the program at once.
namespace interrupt {

void install();
bool requested();

}  // namespace interrupt
