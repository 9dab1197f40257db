#include "mount_simulator/MountQuirk.h"

namespace mountQuirk {

bool apply(const std::string& name, MountBehaviour& behaviour)
{
    MountMotion::Settings& motion = behaviour.motion;
    if (name == "not-tracking") {
        motion.tracking = false;
    } else if (name == "reversed-dec") {
        motion.reversedDeclination = true;
    } else if (name == "dead-east") {
        motion.ignoredDirection = 'e';
    } else if (name == "slow-west") {
        motion.slowDirection = 'w';
    } else if (name == "backlash") {
        motion.backlashArcseconds = kBacklashArcseconds;
    } else if (name == "no-stop") {
        motion.obeysStops = false;
    } else if (name == "short-format") {
        behaviour.shortFormat = true;
    } else {
        return false;
    }
    return true;
}

const char* names() { return "not-tracking, reversed-dec, dead-east, slow-west, backlash, no-stop, short-format"; }

}  // namespace mountQuirk
