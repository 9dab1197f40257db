#include "mount_simulator/MountQuirk.h"

namespace mountQuirk {

bool apply(const std::string& name, MountBehaviour& behaviour)
{
    MountMotion::Settings& motion = behaviour.motion;
    if (name == "not-tracking") {
        motion.trackingRate = 0;
    } else if (name == "tracks-backwards") {
        motion.trackingRate = -1;
    } else if (name == "reversed-dec") {
        motion.reversedDeclination = true;
    } else if (name == "dead-east") {
        motion.ignoredDirection = 'e';
    } else if (name == "slow-west") {
        motion.slowDirection = 'w';
    } else if (name == "backlash") {
        motion.backlashArcseconds = kBacklashArcseconds;
    } else if (name == "no-stop") {
        motion.declinationStops = false;
        motion.rightAscensionStops = false;
        motion.obeysHalt = false;
    } else if (name == "lost-ra-stop") {
        motion.rightAscensionStops = false;
    } else if (name == "ignores-rg") {
        motion.ignoresGuideRate = true;
    } else if (name == "separate-keys") {
        motion.separateKeys = true;
    } else if (name == "noisy") {
        behaviour.readingNoiseArcsec = kNoisyArcseconds;
    } else if (name == "short-format") {
        behaviour.shortFormat = true;
    } else if (name == "ignores-mg") {
        motion.ignoresMountTimed = true;
    } else if (name == "mg-untimed") {
        motion.timesMountTimed = false;
    } else {
        return false;
    }
    return true;
}

const char* names()
{
    return "not-tracking, tracks-backwards, reversed-dec, dead-east, slow-west, backlash, no-stop, lost-ra-stop, "
           "ignores-rg, separate-keys, noisy, short-format, ignores-mg, mg-untimed";
}

}  // namespace mountQuirk
