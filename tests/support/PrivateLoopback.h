#pragma once

#include <string>

// A loopback of the test program's own, in a network namespace that nothing else uses, so that
// a test may cut it off: every packet on it is then lost without a word, as to a mount that went
// out of WiFi range, while both ends of a connection stay open.

// Moves the calling thread, and the threads and sockets it makes from then on, into the
// namespace, at the first call, and brings its loopback up. False, with the reason, where the
// system allows no namespace of our own.
bool enterPrivateLoopback(std::string& why);

// Takes the private loopback down or up again; false outside it, which stays untouched.
bool setPrivateLoopbackUp(bool up);
