#pragma once

// The shapes an LX200 mount gives its answers to the handshake's questions. The handshake takes
// only the long ("high precision") format, the one every LX200 mount can be switched to:
//   sidereal time, right ascension  HH:MM:SS    hours 00-23, minutes and seconds 00-59
//   declination                     sDD*MM'SS   sign + or -, degrees 00-90, minutes and seconds
//                                               00-59; many mounts send the degree mark as the
//                                               byte 0xDF and the minutes mark as ':'
// Many mounts answer in the short format (HH:MM.T, sDD*MM) until they are switched over; it is
// told apart here so that the user can be told what to do, but the handshake does not take it.
enum class ReplyShape {
    LongTime,          // HH:MM:SS
    LongDeclination,   // sDD*MM'SS
    ShortTime,         // HH:MM.T
    ShortDeclination,  // sDD*MM
    MountError,        // begins with "!"
    Unrecognised,      // no time and no angle at all
};

// reply holds length characters, without the "#".
ReplyShape shapeOfReply(const char* reply, int length);
