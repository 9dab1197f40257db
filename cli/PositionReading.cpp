#include "cli/PositionReading.h"

#include "lx200/PositionText.h"

std::optional<PositionReading> PositionReading::from(const HandshakeReplies& replies)
{
    const HandshakeReplies::Reply* rightAscension = replies.reply(1);
    const HandshakeReplies::Reply* declination = replies.reply(2);
    if (!rightAscension || !declination) return std::nullopt;
    const std::optional<double> hours = sky::readLongTime(rightAscension->text);
    const std::optional<double> degrees = sky::readLongDeclination(declination->text);
    if (!hours || !degrees) return std::nullopt;
    return PositionReading{*hours, rightAscension->beganAt, *degrees, declination->beganAt};
}
