#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "indi/IndiCommand.h"
#include "indi/IndiModel.h"
#include "indi/IndiUpdate.h"
#include "platform/thread.h"

namespace indi {

// A client of one INDI server over TCP. connect() opens the connection and asks for every
// property; a reader thread of its own then parses the server's stream into the model, wakes
// waiters on every change and tells the listener. The connection ends with close(), the
// destructor, the server going away, or a stream the parser rejects; closeReason() then says
// which, and every wait returns. Every member may be called from any thread, the listener's own
// included.
class IndiClient {
public:
    // Called on the reader thread for every element of the stream, in order, after the model has
    // taken it; line is update.summary(). A listener that blocks holds up the reading. None
    // begins after close() has returned; one under way may still finish.
    using Listener = std::function<void(const IndiUpdate& update, const std::string& line)>;

    enum class WaitOutcome { Held, TimedOut, Closed };

    IndiClient();
    // Closes and waits a moment for the reader; a listener stuck beyond it is left to finish on
    // its own, with what it touches kept alive.
    ~IndiClient();
    IndiClient(const IndiClient&) = delete;
    IndiClient& operator=(const IndiClient&) = delete;

    // Set before connect() to hear every update from the first.
    void setListener(Listener listener);

    // Connects within timeoutMs and sends getProperties; blocks. False with a sentence in error
    // if the server could not be reached or the client was connected before.
    bool connect(const std::string& host, int port, int timeoutMs, std::string& error);

    // Ends the connection; waiters wake with Closed. Idempotent.
    void close();

    // True from a successful connect() until the connection ends.
    bool isOpen() const;
    // Why the connection ended; empty while it is open or before connect().
    std::string closeReason() const;

    // Blocks until holds(model) is true (checked at once and after every change), the time is
    // up, or the connection ends. holds runs under the model's lock: it must not call back.
    WaitOutcome waitUntil(const std::function<bool(const IndiModel&)>& holds, int timeoutMs);

    // Runs look(model) under the model's lock, for reading several values that belong together.
    void inspect(const std::function<void(const IndiModel&)>& look) const;
    std::uint64_t revision() const;

    // Sends a new value for some elements of a property; blocks until the system took the bytes
    // (at most a few seconds). False with a sentence in error if the connection is not open or
    // the write failed, which ends the connection.
    bool sendNumbers(const std::string& device, const std::string& name, const IndiCommand::Numbers& values,
                     std::string& error);
    bool sendSwitches(const std::string& device, const std::string& name, const IndiCommand::Switches& values,
                      std::string& error);

    struct Session;

private:
    bool send(const std::string& xml, std::string& error);

    std::shared_ptr<Session> session_;
    platform::Thread reader_;
};

}  // namespace indi
