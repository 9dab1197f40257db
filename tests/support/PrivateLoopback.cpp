#include "support/PrivateLoopback.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool entered = false;

bool setLoopbackFlags(bool up)
{
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (control < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool set = ::ioctl(control, SIOCGIFFLAGS, &request) == 0;
    if (set) {
        request.ifr_flags = static_cast<short>(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
        set = ::ioctl(control, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(control);
    return set;
}

}  // namespace

bool enterPrivateLoopback(std::string& why)
{
    if (entered) return true;
    // Root may make a network namespace directly; anyone else through a user namespace of their
    // own, which only a program that still has a single thread may enter.
    if (::unshare(CLONE_NEWNET) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        why = std::string("no network namespace: ") + std::strerror(errno);
        return false;
    }
    entered = true;
    if (!setLoopbackFlags(true)) {
        why = std::string("the private loopback would not come up: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool setPrivateLoopbackUp(bool up) { return entered && setLoopbackFlags(up); }
