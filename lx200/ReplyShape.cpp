#include "lx200/ReplyShape.h"

namespace {

constexpr unsigned char kDegreeMark = '*';
// The byte many mounts send for the degree sign (the degree sign of their handset's character set).
constexpr unsigned char kDegreeSign = 0xDF;

// The two decimal digits at text as a number, or -1 if they are not two digits.
int twoDigits(const char* text)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (!isDigit(text[0]) || !isDigit(text[1])) return -1;
    return (text[0] - '0') * 10 + (text[1] - '0');
}

bool inRange(int value, int highest) { return value >= 0 && value <= highest; }

bool isDegreeMark(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte == kDegreeMark || byte == kDegreeSign;
}

// HH:MM, the part both time formats share.
bool isHoursAndMinutes(const char* reply)
{
    return inRange(twoDigits(reply), 23) && reply[2] == ':' && inRange(twoDigits(reply + 3), 59);
}

bool isLongTime(const char* reply, int length)
{
    return length == 8 && isHoursAndMinutes(reply) && reply[5] == ':' && inRange(twoDigits(reply + 6), 59);
}

bool isShortTime(const char* reply, int length)
{
    return length == 7 && isHoursAndMinutes(reply) && reply[5] == '.' && reply[6] >= '0' && reply[6] <= '9';
}

// sDD*MM, the part both declination formats share; a declination goes no further than 90 degrees.
bool isDegreesAndMinutes(const char* reply)
{
    const int degrees = twoDigits(reply + 1);
    const int minutes = twoDigits(reply + 4);
    return (reply[0] == '+' || reply[0] == '-') && inRange(degrees, 90) && isDegreeMark(reply[3]) &&
           inRange(minutes, 59) && (degrees < 90 || minutes == 0);
}

bool isLongDeclination(const char* reply, int length)
{
    if (length != 9 || !isDegreesAndMinutes(reply) || (reply[6] != '\'' && reply[6] != ':')) return false;
    const int seconds = twoDigits(reply + 7);
    return inRange(seconds, 59) && (twoDigits(reply + 1) < 90 || seconds == 0);
}

bool isShortDeclination(const char* reply, int length) { return length == 6 && isDegreesAndMinutes(reply); }

}  // namespace

ReplyShape shapeOfReply(const char* reply, int length)
{
    if (length > 0 && reply[0] == '!') return ReplyShape::MountError;
    if (isLongTime(reply, length)) return ReplyShape::LongTime;
    if (isLongDeclination(reply, length)) return ReplyShape::LongDeclination;
    if (isShortTime(reply, length)) return ReplyShape::ShortTime;
    if (isShortDeclination(reply, length)) return ReplyShape::ShortDeclination;
    return ReplyShape::Unrecognised;
}
