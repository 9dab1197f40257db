#include "indi/IndiClient.h"

#include <condition_variable>
#include <mutex>
#include <vector>

#include "indi/IndiStreamParser.h"
#include "platform/deadline.h"
#include "platform/event.h"
#include "platform/lock.h"
#include "platform/posix/network_connect.h"
#include "platform/serial.h"

namespace indi {
namespace {

// A server that takes no bytes for this long is not going to.
constexpr int kWriteLimitMs = 3000;
// The reader notices a stop within 200 ms; a listener may need a little longer to return.
constexpr int kReaderEndLimitMs = 3000;
constexpr int kReadCapacity = 16 * 1024;

}  // namespace

struct IndiClient::Session {
    mutable platform::Lock lock;  // the model, the state of the connection and the listener
    std::condition_variable_any changed;
    IndiModel model;
    Listener listener;
    bool started = false;
    bool open = false;
    std::string reason;
    std::string where;

    platform::Lock writeLock;  // writes, and closing the port, which must not meet a write
    std::unique_ptr<platform::SerialPort> port;
    bool portClosed = false;
    platform::Event writeDone{platform::EventReset::Manual};
    platform::Event stop{platform::EventReset::Manual};

    std::string failure;  // what stopped the reading from inside an update, the reader's own
    IndiStreamParser parser{[this](const IndiUpdate& update) { take(update); }};

    void take(const IndiUpdate& update)
    {
        Listener tell;
        {
            std::lock_guard<platform::Lock> hold(lock);
            if (model.apply(update, std::chrono::steady_clock::now()) == IndiModel::Applied::OverLimit) {
                failure = "the INDI server at " + where + " defined more than " +
                          std::to_string(IndiModel::kPropertyLimit) + " properties";
            }
            changed.notify_all();
            // Once closed, the rest of a piece already read is not told: after close() returns
            // no new call of the listener begins.
            if (open) tell = listener;
        }
        if (tell) tell(update, update.summary());
    }

    void readAll()
    {
        std::vector<unsigned char> buffer(kReadCapacity);
        for (;;) {
            const platform::SerialReadResult got = port->read(buffer.data(), kReadCapacity, stop);
            if (got.outcome == platform::SerialReadOutcome::Stopped) return end("closed by this client");
            if (got.outcome == platform::SerialReadOutcome::LineGone) {
                return end("the INDI server at " + where + " ended the connection");
            }
            if (!parser.feed(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(got.count))) {
                return end(parser.error());
            }
            if (!failure.empty()) return end(failure);
        }
    }

    // The first reason to end is the one kept; closing the port stops the reader if it was not
    // the reader that ended.
    void end(const std::string& why)
    {
        {
            std::lock_guard<platform::Lock> hold(lock);
            if (open) {
                open = false;
                reason = why;
            }
            changed.notify_all();
        }
        stop.set();
        std::lock_guard<platform::Lock> hold(writeLock);
        if (port && !portClosed) port->close();
        portClosed = true;
    }

    static void readerEntry(void* argument)
    {
        // The thread holds the session too, so an abandoned reader never touches freed memory.
        const std::unique_ptr<std::shared_ptr<Session>> session(static_cast<std::shared_ptr<Session>*>(argument));
        (*session)->readAll();
    }
};

IndiClient::IndiClient() : session_(std::make_shared<Session>()) {}

IndiClient::~IndiClient()
{
    close();
    if (!reader_.waitForEnd(kReaderEndLimitMs)) reader_.abandon();
}

void IndiClient::setListener(Listener listener)
{
    std::lock_guard<platform::Lock> hold(session_->lock);
    session_->listener = std::move(listener);
}

bool IndiClient::connect(const std::string& host, int port, int timeoutMs, std::string& error)
{
    Session& session = *session_;
    {
        std::lock_guard<platform::Lock> hold(session.lock);
        if (session.started) {
            error = "this client was connected before; a new connection needs a new client";
            return false;
        }
        session.started = true;
        session.where = host + " port " + std::to_string(port);
    }
    platform::OpenFailure failure;
    const int socket = platform::connectToMount(platform::NetworkAddress{host, port}, failure, timeoutMs);
    if (socket < 0) {
        error = "cannot reach the INDI server: " + failure.reason;
        std::lock_guard<platform::Lock> hold(session.lock);
        session.reason = error;
        return false;
    }
    {
        std::lock_guard<platform::Lock> hold(session.writeLock);
        session.port = platform::networkLineOn(socket);
    }
    {
        std::lock_guard<platform::Lock> hold(session.lock);
        session.open = true;
    }
    auto* shared = new std::shared_ptr<Session>(session_);
    if (!reader_.start(&Session::readerEntry, shared)) {
        delete shared;
        session.end("the system would not start the INDI reader thread");
        error = closeReason();
        return false;
    }
    return send(IndiCommand::getProperties(), error);
}

void IndiClient::close() { session_->end("closed by this client"); }

bool IndiClient::isOpen() const
{
    std::lock_guard<platform::Lock> hold(session_->lock);
    return session_->open;
}

std::string IndiClient::closeReason() const
{
    std::lock_guard<platform::Lock> hold(session_->lock);
    return session_->reason;
}

IndiClient::WaitOutcome IndiClient::waitUntil(const std::function<bool(const IndiModel&)>& holds, int timeoutMs)
{
    Session& session = *session_;
    const platform::Deadline deadline(timeoutMs);
    std::unique_lock<platform::Lock> hold(session.lock);
    for (;;) {
        if (holds(session.model)) return WaitOutcome::Held;
        if (!session.open) return WaitOutcome::Closed;
        if (deadline.passed()) return WaitOutcome::TimedOut;
        const int left = deadline.remainingMs();
        if (left < 0) {
            session.changed.wait(hold);
        } else {
            session.changed.wait_for(hold, std::chrono::milliseconds(left));
        }
    }
}

void IndiClient::inspect(const std::function<void(const IndiModel&)>& look) const
{
    std::lock_guard<platform::Lock> hold(session_->lock);
    look(session_->model);
}

std::uint64_t IndiClient::revision() const
{
    std::lock_guard<platform::Lock> hold(session_->lock);
    return session_->model.revision();
}

bool IndiClient::sendNumbers(const std::string& device, const std::string& name, const IndiCommand::Numbers& values,
                             std::string& error)
{
    return send(IndiCommand::newNumberVector(device, name, values), error);
}

bool IndiClient::sendSwitches(const std::string& device, const std::string& name,
                              const IndiCommand::Switches& values, std::string& error)
{
    return send(IndiCommand::newSwitchVector(device, name, values), error);
}

bool IndiClient::send(const std::string& xml, std::string& error)
{
    Session& session = *session_;
    platform::SerialWriteResult result;
    {
        std::lock_guard<platform::Lock> hold(session.writeLock);
        if (!isOpen() || session.portClosed) {
            const std::string why = closeReason();
            error = "not connected to an INDI server" + (why.empty() ? std::string() : ": " + why);
            return false;
        }
        result = session.port->write(reinterpret_cast<const unsigned char*>(xml.data()), static_cast<int>(xml.size()),
                                     session.writeDone, kWriteLimitMs, platform::NetworkWrite::Taken);
    }
    if (result == platform::SerialWriteResult::Completed) return true;
    error = result == platform::SerialWriteResult::TimedOut
                ? "the INDI server at " + session.where + " took no bytes for " +
                      std::to_string(kWriteLimitMs / 1000) + " s"
                : "could not send to the INDI server at " + session.where;
    session.end(error);
    return false;
}

}  // namespace indi
