#include "link/ResponseParser.h"

namespace {
constexpr unsigned char kTerminator = '#';
}

bool ResponseParser::accept(unsigned char byte)
{
    if (parserState == Idle) {
        if (byte == kTerminator) return false;
        buffer[0] = static_cast<char>(byte);
        replyLength = 1;
        parserState = Collecting;
        return false;
    }
    if (replyLength >= kCapacity) {
        parserState = Idle;
        return false;
    }
    if (byte == kTerminator) {
        parserState = Idle;
        completedLength = replyLength;
        replyLength = 0;
        return true;
    }
    buffer[replyLength] = static_cast<char>(byte);
    ++replyLength;
    return false;
}
