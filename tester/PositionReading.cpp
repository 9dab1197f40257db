#include "tester/PositionReading.h"

#include "lx200/PositionText.h"

std::optional<PositionReading> PositionReading::from(const HandshakeReplies& replies)
{
    const HandshakeReplies::Reply* siderealTime = replies.reply(0);
    const HandshakeReplies::Reply* rightAscension = replies.reply(1);
    const HandshakeReplies::Reply* declination = replies.reply(2);
    if (!siderealTime || !rightAscension || !declination) return std::nullopt;
    const std::optional<double> sidereal = sky::readLongTime(siderealTime->text);
    const std::optional<double> hours = sky::readLongTime(rightAscension->text);
    const std::optional<double> degrees = sky::readLongDeclination(declination->text);
    if (!sidereal || !hours || !degrees) return std::nullopt;
    return PositionReading{*hours, rightAscension->beganAt, *degrees, declination->beganAt, *sidereal};
}

double PositionReading::hourAngle() const { return sky::timeBetween(rightAscension, siderealTime); }
