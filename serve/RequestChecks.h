#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/serial_devices.h"
#include "tester/MountUnderTest.h"
#include "tester/Tester.h"
#include "serve/Refusal.h"
#include "link/Direction.h"
#include "link/PulseLength.h"

// What guide-link serve accepts from the network, read and checked before anything is done with
// it: where to listen, the access token, the page's origin and the values of each request.
namespace web {

struct ListenAddress {
    std::string host;
    int port = 0;
};

// serve's port unless --listen names another: one that the programs already found on astronomy
// computers (remote desktops, INDI and its web managers, network mount servers) leave free.
constexpr int kDefaultPort = 7397;

// ADDRESS:PORT, as --listen takes it: 127.0.0.1:7397, 0.0.0.0:80, [::1]:7397; port 0 is any
// free port.
bool readListenAddress(const std::string& text, ListenAddress& address, std::string& error);
// Whether a server bound to host can be reached from other machines.
bool reachableFromNetwork(const std::string& host);

// A fresh access token: 128 bits from the system's random source, as 32 hex digits.
std::string makeToken();
// Compares in a time that does not depend on where the two differ.
bool tokenMatches(const std::string& given, const std::string& token);

// Whether a request's Host header (HOST or HOST:PORT) names this machine by loopback: 127.0.0.1,
// localhost or [::1], on any port, as an SSH tunnel may bring it to another.
bool loopbackHost(const std::string& hostHeader);

// A request's Origin header (empty when the browser sent none) against the Host it was sent
// to: a page served by anyone else may not drive the mount.
bool sameOrigin(const std::string& origin, const std::string& host);

// The members of a request's JSON body. Each leaves its output alone when it refuses.
MaybeRefusal readPulseLength(const nlohmann::json& body, PulseLength& length);
MaybeRefusal readDirection(const nlohmann::json& body, Direction& direction);
// A serial device on this machine or a tcp:// address, through guide-link's own port reading;
// where indiTaken, an indi:// address too, kept as given.
MaybeRefusal readPort(const nlohmann::json& body, int linkNumber, devices::PortChoice& port, bool indiTaken = false);
MaybeRefusal readMotionPlan(const nlohmann::json& body, motion::Plan& plan);

}  // namespace web
