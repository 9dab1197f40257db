#include "mount_simulator/MountMotion.h"

#include <algorithm>

#include "lx200/PositionText.h"

double MountMotion::Axis::offsetAt(double at) const
{
    if (turning == 0) return offset;
    return offset + turning * std::max(0.0, rate * (at - since) - slack);
}

void MountMotion::Axis::start(int way, double newRate, double backlash, double at)
{
    if (turning == way) return;  // a repeated move command changes nothing
    halt(at);
    if (lastTurn != 0 && way != lastTurn) slack = backlash;
    lastTurn = way;
    turning = way;
    since = at;
    rate = newRate;
}

void MountMotion::Axis::halt(double at)
{
    if (turning == 0) return;
    const double turned = rate * (at - since);
    offset = offsetAt(at);
    slack = std::max(0.0, slack - turned);
    turning = 0;
}

void MountMotion::move(char direction, double at, const Settings& settings)
{
    if (direction == settings.ignoredDirection) return;
    int way = direction == 'n' || direction == 'e' ? 1 : -1;
    if (settings.reversedDeclination && (direction == 'n' || direction == 's')) way = -way;
    const bool declination = direction == 'n' || direction == 's';
    const double perSecond = declination ? sky::kSiderealArcsecondsPerSecond : sky::kSiderealSecondsPerSecond;
    const double rate = settings.guideRate * perSecond * (direction == settings.slowDirection ? 0.5 : 1.0);
    axisOf(direction).start(way, rate, declination ? settings.backlashArcseconds : 0.0, at);
}

void MountMotion::stop(char direction, double at, const Settings& settings)
{
    if (settings.obeysStops) axisOf(direction).halt(at);
}

void MountMotion::stopAll(double at, const Settings& settings)
{
    if (!settings.obeysStops) return;
    rightAscension_.halt(at);
    declination_.halt(at);
}

double MountMotion::rightAscensionOffset(double at, const Settings& settings) const
{
    const double skyTurned = settings.tracking ? 0.0 : at * sky::kSiderealSecondsPerSecond;
    return rightAscension_.offsetAt(at) + skyTurned;
}
