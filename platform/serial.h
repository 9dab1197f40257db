#pragma once

#include <chrono>
#include <memory>

#include "platform/event.h"

namespace platform {

enum class SerialWriteResult {
    Completed,
    Failed,
    TimedOut,  // not finished within the limit; the write was cancelled before returning
};

enum class SerialReadOutcome {
    Data,      // count bytes arrived
    Stopped,   // the stop event was signalled
    LineGone,  // the device failed or went away; further reads would fail the same way
};

struct SerialReadResult {
    SerialReadOutcome outcome;
    int count;
};

// How long a write on a network line waits. A write on a serial line always waits until its
// bytes are sent.
enum class NetworkWrite {
    // Until the network stack took the bytes, which then leave at once.
    Taken,
    // Until the mount acknowledged them: a command that must reach it, such as a stop. A mount
    // may hold its acknowledgement back for a few hundred milliseconds, so this delays the
    // commands after it.
    Acknowledged,
};

// An open serial line for an LX200 mount: exclusive access, 9600 baud, 8 data bits, no parity,
// one stop bit, the other line settings as the device had them, and anything queued discarded.
// One thread may read while another writes; close() may also come while a read is under way;
// purge and destruction need both to be finished.
class SerialPort {
public:
    // Opens COM<portNumber> (on POSIX the device that the port table names for it). Where the
    // table names a tcp:// address, it connects there instead: a network line, read and written
    // as a serial one, where written means the mount acknowledged the bytes (where the system
    // can tell; see write). Returns null if the device is absent, in use or not a serial line,
    // or the connection failed; openFailure() of the port table then says why, where the
    // backend could tell.
    static std::unique_ptr<SerialPort> open(int portNumber);

    // Closes the device unless close() did already. Nothing further is written to it.
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Writes count bytes, waiting at most timeoutMs for them to go out of the driver's queue
    // (a pseudo-terminal cannot tell, so there it waits until they were taken), or on a network
    // line as until says; for the mount to acknowledge them only where the system can tell, not
    // on Windows before 10 version 1703 nor under Wine. writeDone is the completion
    // signal of the write (reset first). A write that fails or is still going at the limit is
    // cancelled and its unsent bytes discarded before this returns, so nothing of it goes out
    // later; on a network line that aborts the connection, which closes the port. Fails at once
    // on a closed port.
    // sentAt, where given, receives the moment the bytes left as far as the system tells: on a
    // serial line once sent, on a network line once taken, before any wait for the mount.
    SerialWriteResult write(const unsigned char* bytes, int count, Event& writeDone, int timeoutMs,
                            NetworkWrite until = NetworkWrite::Acknowledged,
                            std::chrono::steady_clock::time_point* sentAt = nullptr);

    // Blocks until bytes have arrived and the line has been quiet for a moment (or capacity is
    // reached), until stop is signalled (noticed within 200 ms), or until the line fails.
    // Never returns Data with a count of 0, and no read is left pending when it returns.
    // On a port closed before or during the call it returns LineGone (or Stopped) promptly.
    SerialReadResult read(unsigned char* buffer, int capacity, Event& stop);

    // Discards what has arrived and not been read. Output is never discarded: by the time a
    // write returns, its bytes have gone out or been withdrawn.
    void purge();

    // Releases the device at once, so that it can be opened again, while this object stays
    // valid: a reader still inside read() on another thread ends soon after, and later reads and
    // writes fail without touching the device. What write() reported as sent is not discarded.
    // Idempotent; not while a write is under way. The destructor closes too.
    void close();

    struct Native;
    explicit SerialPort(std::unique_ptr<Native> native);

private:
    std::unique_ptr<Native> native_;
};

}  // namespace platform
