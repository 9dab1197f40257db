#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// A real indiserver running the given drivers, in a process group of its own (its drivers with
// it), on a free port and a local socket of its own: two servers on the default socket path
// would collide. HOME and INDICONFIG point into a scratch folder, so no saved settings steer the
// drivers and none of the user's are touched.
class IndiServer {
public:
    explicit IndiServer(const std::vector<std::string>& drivers);
    ~IndiServer();
    IndiServer(const IndiServer&) = delete;
    IndiServer& operator=(const IndiServer&) = delete;

    // Whether every one of programs is on PATH.
    static bool installed(const std::vector<std::string>& programs);

    int port() const { return port_; }
    // indi_getprop's lines for "DEVICE.PROPERTY.ELEMENT" (wildcards allowed): "... = value".
    std::string get(const std::string& property) const;
    // indi_setprop "DEVICE.PROPERTY.ELEMENT=VALUE"; false if it failed.
    bool set(const std::string& assignment) const;
    // Kills the server and its drivers at once, as a crash or a pulled cable would.
    void kill();

private:
    int port_ = 0;
    pid_t pid_ = -1;
    std::string folder_;
};

// Greenwich's sidereal time in hours, where INDI's telescope simulator stands by default
// (longitude 0).
double siderealHours();

// Looks every 100 ms whether condition holds, for at most limitMs; whether it came to hold.
bool waitFor(const std::function<bool()>& condition, int limitMs);
