#include "mount_simulator/MountMotion.h"

#include <algorithm>
#include <cmath>

#include "lx200/PositionText.h"

double MountMotion::Axis::offsetAt(double at) const
{
    const double velocity = speed();
    if (velocity == 0) return offset;
    return offset + (velocity > 0 ? 1 : -1) * std::max(0.0, std::fabs(velocity) * (at - since) - slack);
}

void MountMotion::Axis::press(int key, bool down, double rate, double backlash, double at)
{
    const double turned = std::fabs(speed()) * (at - since);
    offset = offsetAt(at);
    slack = std::max(0.0, slack - turned);
    since = at;
    held[key] = down;
    releaseAt[key] = kNever;
    this->backlash = backlash;
    if (down) keyRate[key] = rate;
    const double velocity = speed();
    if (velocity == 0) return;
    const int way = velocity > 0 ? 1 : -1;
    if (lastTurn != 0 && way != lastTurn) slack = backlash;
    lastTurn = way;
}

MountMotion::Axis MountMotion::Axis::settledAt(double at) const
{
    Axis axis = *this;
    for (;;) {
        const int key = axis.releaseAt[0] <= axis.releaseAt[1] ? 0 : 1;
        const double when = axis.releaseAt[key];
        if (when > at) return axis;
        axis.press(key, false, 0, axis.backlash, when);
    }
}

MountMotion::Axis& MountMotion::axisOf(char direction, double at)
{
    Axis& axis = onDeclination(direction) ? declination_ : rightAscension_;
    axis = axis.settledAt(at);
    return axis;
}

double MountMotion::rateOf(char direction, double guideRate, const Settings& settings)
{
    const bool declination = onDeclination(direction);
    int way = keyOf(direction) == 0 ? 1 : -1;
    if (settings.reversedDeclination && declination) way = -way;
    // Per second, in the axis's own units: arcseconds, or seconds of time.
    const double perSidereal = declination ? sky::kSiderealArcsecondsPerSecond : sky::kSiderealSecondsPerSecond;
    const double slew = settings.slewDegreesPerSecond * sky::kArcsecondsPerDegree /
                        (declination ? 1.0 : sky::kArcsecondsPerSecondOfTime);
    double rate = settings.ignoresGuideRate ? slew : guideRate * perSidereal;
    if (direction == settings.slowDirection) rate /= 2;
    return way * rate;
}

void MountMotion::move(char direction, double at, const Settings& settings)
{
    if (direction == settings.ignoredDirection) return;
    const bool declination = onDeclination(direction);
    const double guideRate = declination ? settings.declinationGuideRate.value_or(settings.guideRate) : settings.guideRate;
    Axis& axis = axisOf(direction, at);
    const int key = keyOf(direction);
    const double backlash = declination ? settings.backlashArcseconds : 0.0;
    if (!settings.separateKeys && axis.held[1 - key]) axis.press(1 - key, false, 0, backlash, at);
    axis.press(key, true, rateOf(direction, guideRate, settings), backlash, at);
}

void MountMotion::timedMove(char direction, int ms, double at, const Settings& settings)
{
    if (settings.ignoresMountTimed) return;
    MountMotion::Settings timed = settings;
    if (settings.mountTimedRate) {
        timed.guideRate = *settings.mountTimedRate;
        timed.declinationGuideRate = settings.mountTimedRate;
    }
    move(direction, at, timed);
    Axis& axis = axisOf(direction, at);
    const int key = keyOf(direction);
    if (settings.timesMountTimed && axis.held[key]) axis.releaseAt[key] = at + ms / 1000.0;
}

void MountMotion::stop(char direction, double at, const Settings& settings)
{
    const bool declination = onDeclination(direction);
    if (!(declination ? settings.declinationStops : settings.rightAscensionStops)) return;
    axisOf(direction, at).press(keyOf(direction), false, 0, declination ? settings.backlashArcseconds : 0.0, at);
}

void MountMotion::stopAll(double at, const Settings& settings)
{
    if (!settings.obeysHalt) return;
    rightAscension_ = rightAscension_.settledAt(at);
    declination_ = declination_.settledAt(at);
    for (int key : {0, 1}) {
        rightAscension_.press(key, false, 0, 0.0, at);
        declination_.press(key, false, 0, settings.backlashArcseconds, at);
    }
}

double MountMotion::rightAscensionOffset(double at, const Settings& settings) const
{
    const double skyTurned = (1 - settings.trackingRate) * at * sky::kSiderealSecondsPerSecond;
    return rightAscension_.settledAt(at).offsetAt(at) + skyTurned;
}
