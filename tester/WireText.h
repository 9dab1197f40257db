#pragma once

#include <string>

#include "lx200/ReplyShape.h"

// How guide-link shows the bytes that crossed the line and the texts it borrows from the dialog.
namespace wire {

// True when every byte is printable ASCII (space to '~').
bool printable(const std::string& bytes);

// The bytes with \" and \\ for those two characters and \xNN for every byte outside printable
// ASCII, so a stray carriage return or a zero byte cannot hide; quoted puts double quotes round.
std::string escaped(const std::string& bytes);
std::string quoted(const std::string& bytes);

// Each byte as two lower-case hex digits, separated by single spaces: "3a 47 53 23".
std::string hex(const std::string& bytes);

// UTF-16 text, ended by a zero, as UTF-8; a lone surrogate becomes U+FFFD. Null gives "".
std::string utf8(const char16_t* text);

// The dialog's line for a status code, as UTF-8; "status N" for a code it has no text for.
std::string statusLine(int code);

// What a handshake command asks the mount for, in words ("sidereal time"); "" for others.
std::string askedFor(const std::string& command);

// The shape of reply the link takes for a handshake command, with examples; "" for others.
std::string acceptedReply(const std::string& command);

// What a reply of that shape is, in words ("a time in the short format (HH:MM.T)").
std::string shapeName(ReplyShape shape);

}  // namespace wire
