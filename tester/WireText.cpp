#include "tester/WireText.h"

#include <cstdio>

#include "link/StatusText.h"

namespace wire {
namespace {

bool isPrintable(unsigned char byte) { return byte >= 0x20 && byte <= 0x7E; }

void appendUtf8(std::string& out, char32_t point)
{
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

bool isHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

bool printable(const std::string& bytes)
{
    for (char c : bytes) {
        if (!isPrintable(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string quoted(const std::string& bytes) { return "\"" + escaped(bytes) + "\""; }

std::string escaped(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (isPrintable(byte)) {
            out += c;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        }
    }
    return out;
}

std::string hex(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c));
        if (!out.empty()) out += ' ';
        out += digits;
    }
    return out;
}

std::string utf8(const char16_t* text)
{
    std::string out;
    if (!text) return out;
    for (const char16_t* unit = text; *unit; ++unit) {
        if (isHigh(unit[0]) && isLow(unit[1])) {
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit[0]) - 0xD800) << 10) + (unit[1] - 0xDC00));
            ++unit;
        } else if (isHigh(*unit) || isLow(*unit)) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, *unit);
        }
    }
    return out;
}

std::string statusLine(int code)
{
    const char16_t* text = statusText(code);
    return text ? utf8(text) : "status " + std::to_string(code);
}

std::string askedFor(const std::string& command)
{
    if (command == ":GS#") return "sidereal time";
    if (command == ":GR#") return "right ascension";
    if (command == ":GD#") return "declination";
    return "";
}

std::string acceptedReply(const std::string& command)
{
    if (command == ":GS#" || command == ":GR#") {
        return "the long format, HH:MM:SS then '#' (hours 00-23, minutes and seconds 00-59, such as 14:00:00#)";
    }
    if (command == ":GD#") {
        // The degree sign as the mounts that send it do: one byte, shown as any such byte is.
        return "the long format, sDD*MM'SS then '#' (sign + or -, degrees 00-90, minutes and seconds 00-59, such as "
               "+45*30'15#, or " + escaped("+45\xdf" "30:15#") + " as many mounts send it)";
    }
    return "";
}

std::string shapeName(ReplyShape shape)
{
    switch (shape) {
    case ReplyShape::LongTime:
        return "a time in the long format (HH:MM:SS)";
    case ReplyShape::LongDeclination:
        return "a declination in the long format (sDD*MM'SS)";
    case ReplyShape::ShortTime:
        return "a time in the short format (HH:MM.T, to a tenth of a minute)";
    case ReplyShape::ShortDeclination:
        return "a declination in the short format (sDD*MM, to the minute)";
    case ReplyShape::MountError:
        return "the mount reporting an error";
    case ReplyShape::Unrecognised:
        break;
    }
    return "neither a time nor an angle";
}

}  // namespace wire
