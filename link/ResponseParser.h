#pragma once

// Collects the mount's replies from the serial byte stream. Replies arrive in pieces of any
// size, end with "#" and may carry garbage. A reply holds 1 to 49 characters; one that grows to
// 50 without its "#" is lost: the next byte (even a "#") is dropped and collection starts afresh.
class ResponseParser {
public:
    static constexpr int kCapacity = 50;

    // Takes one received byte; returns true when it completed a reply, which reply() and
    // length() then give (without the "#") until the next call.
    bool accept(unsigned char byte);

    // Forgets any partly collected reply.
    void reset() { parserState = Idle; }

    const char* reply() const { return buffer; }
    int length() const { return completedLength; }

private:
    enum State {
        Idle,        // between replies; a lone "#" is dropped
        Collecting,  // replyLength characters of a reply are in buffer
    };

    State parserState = Idle;
    int replyLength = 0;
    int completedLength = 0;
    char buffer[kCapacity] = {};
};
