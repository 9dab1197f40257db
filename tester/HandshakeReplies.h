#pragma once

#include <deque>
#include <string>
#include <vector>

#include "tester/LinkSession.h"
#include "link/ResponseParser.h"
#include "lx200/ReplyShape.h"

// The handshake as the link saw it, rebuilt from the link's events, so that a failure can name
// the reply that caused it. Replies are cut from the bytes by the link's own ResponseParser, and
// the link judges them in the order they complete against the question it is waiting on: the
// first whole reply since the port opened is taken for the sidereal time, the next for the
// right ascension, and so on, wherever it came from. Bytes read before a question was written count
// too, so the reply judged may be one the question never asked for.
class HandshakeReplies {
public:
    using Clock = LinkEvent::Clock;

    struct Reply {
        std::string text;           // as it came, '#' included
        Clock::time_point beganAt;  // when its first byte was read
        ReplyShape shape;
    };

    // Forgets everything, for a new connect, before the link can report anything of it.
    void restart();
    // Takes each of the link's events, in the order they come.
    void note(const LinkEvent& event);

    // The handshake question written last: ":GS#", ":GR#" or ":GD#"; "" before the first.
    const std::string& lastQuestion() const;
    // The reply the link judged, or is to judge, against the last question; null if none came.
    const Reply* judged() const;
    // True when the judged reply began to arrive before its question was written, so it cannot
    // be the answer to it.
    bool judgedCameBeforeQuestion() const;
    // The index-th whole reply since the port opened (after a Ready handshake: 0 the sidereal
    // time, 1 the right ascension, 2 the declination); null if fewer came.
    const Reply* reply(size_t index) const { return index < replies.size() ? &replies[index] : nullptr; }
    // The whole reply that came after the judged one; null if none did.
    const Reply* afterJudged() const;
    // What the judged reply was, for a handshake that failed on it.
    enum class Verdict {
        NoReply,         // none came
        MountError,      // the mount reported an error ("!...")
        CameFirst,       // something else, ahead of the answer: it came before the question was
                         // written, or it is no time or angle and another reply followed it
        OtherQuestion,   // a time where a declination was asked for, or the other way round
        ShortFormat,     // what was asked for, in the short format
        NotAnAnswer,     // neither a time nor an angle
        Accepted,        // what was asked for, in the long format
    };
    Verdict verdict() const;

    // What came back since the last question was written and the last whole reply: bytes that
    // make no reply (yet). Only the last kUnfinishedShown of them are kept.
    const std::string& unfinished() const { return unfinished_; }
    static constexpr size_t kUnfinishedShown = 2 * ResponseParser::kCapacity;

private:
    void receive(const std::string& bytes, Clock::time_point at);

    struct Question {
        std::string command;
        Clock::time_point writtenAt;  // when its write began
    };

    ResponseParser parser;
    std::vector<Question> questions;
    std::vector<Reply> replies;
    // When each of the last bytes was read: enough to date the first byte of any whole reply.
    std::deque<Clock::time_point> byteTimes;
    std::string unfinished_;
};
