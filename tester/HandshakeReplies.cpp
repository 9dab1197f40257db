#include "tester/HandshakeReplies.h"

#include "tester/WireText.h"

void HandshakeReplies::restart()
{
    parser.reset();
    questions.clear();
    replies.clear();
    byteTimes.clear();
    unfinished_.clear();
}

void HandshakeReplies::note(const LinkEvent& event)
{
    switch (event.kind) {
    case LinkEvent::Kind::Sent:
        if (wire::askedFor(event.bytes).empty()) return;
        questions.push_back({event.bytes, event.startedAt});
        unfinished_.clear();
        return;
    case LinkEvent::Kind::Received:
        receive(event.bytes, event.at);
        return;
    case LinkEvent::Kind::Status:
        return;
    }
}

void HandshakeReplies::receive(const std::string& bytes, Clock::time_point at)
{
    for (char byte : bytes) {
        byteTimes.push_back(at);
        // A whole reply and its '#'.
        if (byteTimes.size() > ResponseParser::kCapacity + 1) byteTimes.pop_front();
        if (parser.accept(static_cast<unsigned char>(byte))) {
            std::string text(parser.reply(), static_cast<size_t>(parser.length()));
            const Clock::time_point beganAt = byteTimes[byteTimes.size() - 1 - text.size()];
            const ReplyShape shape = shapeOfReply(text.data(), static_cast<int>(text.size()));
            replies.push_back({text + '#', beganAt, shape});
            unfinished_.clear();
        } else {
            unfinished_ += byte;
            if (unfinished_.size() > kUnfinishedShown) unfinished_.erase(0, unfinished_.size() - kUnfinishedShown);
        }
    }
}

const std::string& HandshakeReplies::lastQuestion() const
{
    static const std::string none;
    return questions.empty() ? none : questions.back().command;
}

const HandshakeReplies::Reply* HandshakeReplies::judged() const
{
    if (questions.empty() || replies.size() < questions.size()) return nullptr;
    return &replies[questions.size() - 1];
}

bool HandshakeReplies::judgedCameBeforeQuestion() const
{
    const Reply* reply = judged();
    return reply && reply->beganAt < questions.back().writtenAt;
}

const HandshakeReplies::Reply* HandshakeReplies::afterJudged() const
{
    if (questions.empty() || replies.size() <= questions.size()) return nullptr;
    return &replies[questions.size()];
}

HandshakeReplies::Verdict HandshakeReplies::verdict() const
{
    const Reply* reply = judged();
    if (!reply) return Verdict::NoReply;
    if (reply->shape == ReplyShape::MountError) return Verdict::MountError;
    if (judgedCameBeforeQuestion()) return Verdict::CameFirst;
    const bool wantsDeclination = lastQuestion() == ":GD#";
    switch (reply->shape) {
    case ReplyShape::LongTime:
        return wantsDeclination ? Verdict::OtherQuestion : Verdict::Accepted;
    case ReplyShape::ShortTime:
        return wantsDeclination ? Verdict::OtherQuestion : Verdict::ShortFormat;
    case ReplyShape::LongDeclination:
        return wantsDeclination ? Verdict::Accepted : Verdict::OtherQuestion;
    case ReplyShape::ShortDeclination:
        return wantsDeclination ? Verdict::ShortFormat : Verdict::OtherQuestion;
    case ReplyShape::MountError:
    case ReplyShape::Unrecognised:
        break;
    }
    return afterJudged() ? Verdict::CameFirst : Verdict::NotAnAnswer;
}
