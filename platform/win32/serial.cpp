#include "platform/serial.h"

// Winsock's header must come before windows.h.
#include "platform/win32/network_connect.h"

#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/deadline.h"
#include "platform/lock.h"
#include "platform/output_queue.h"
#include "platform/serial_port_table.h"
#include "platform/sleep.h"
#include "platform/win32/line_settings.h"
#include "platform/win32/native_event.h"
#include "platform/win32/wait_limit.h"

namespace platform {
namespace {

// How often a read that waits for bytes looks at its stop event, at most.
constexpr DWORD kStopCheckMs = 200;
// The pause after an empty read on a live line, so that empty completions cannot spin.
constexpr int kEmptyReadPauseMs = 10;
// How often a cancelled request is looked at again when its event says nothing.
constexpr int kCancelCheckMs = 1;
// How long a cancelled write may take to end. A driver ends one at once; past this it is stuck,
// and the request is left to it.
constexpr int kCancelledWriteEndMs = 500;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// A setting the device refuses stays as the device had it; the mount's silence will tell.
void configureLine(HANDLE port)
{
    DCB current{};
    current.DCBlength = sizeof current;
    if (GetCommState(port, &current)) {
        DCB line = lineSettingsFor(current);
        SetCommState(port, &line);
    }

    COMMTIMEOUTS limits{};
    // Read interval 1 ms: a read ends soon after a burst rather than waiting to fill the buffer.
    limits.ReadIntervalTimeout = 1;
    // No overall read limit: a read waits for its first byte until the stop event ends it.
    limits.ReadTotalTimeoutMultiplier = 0;
    limits.ReadTotalTimeoutConstant = 0;
    // No overall write limit either: write() bounds its own wait and cancels.
    limits.WriteTotalTimeoutMultiplier = 0;
    limits.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(port, &limits);

    // Driver queues far larger than any command or reply.
    SetupComm(port, 8096, 8096);
    // Nothing left over from an earlier user of the line reaches the mount or the reader.
    PurgeComm(port, kPurgeAll);
}

}  // namespace

struct SerialPort::Native {
    // Set at open; the number is kept after close() but used only through whileOpen.
    HANDLE port = INVALID_HANDLE_VALUE;
    // Manual-reset completion signal of the reader's overlapped reads, reused by each.
    HANDLE readDone = nullptr;
    // A TCP connection to a mount on the network: the socket is the handle, read and written
    // overlapped like the device, but it has no line settings and no driver queue to look at.
    bool network = false;
    // Set by the reader when the far end closed the connection: a socket takes a write or two
    // after that without complaint, but the mount will never see them.
    std::atomic<bool> farEndGone{false};

    // Runs use(port) unless close() has released the port, and says whether it ran. Each request
    // on the handle goes through here, so none can reach a handle number that the system has
    // since given to something else. use must not block: close() waits for it.
    template <class Use>
    bool whileOpen(Use use)
    {
        LockGuard hold(portLock);
        if (closed) return false;
        use(port);
        return true;
    }

    // Closes the handle, once.
    void release()
    {
        LockGuard hold(portLock);
        if (closed) return;
        closed = true;
        if (network) {
            closesocket(reinterpret_cast<SOCKET>(port));
        } else {
            CloseHandle(port);
        }
    }

private:
    Lock portLock;
    bool closed = false;
};

namespace {

// The system marks a request that has not ended yet in its Internal member.
bool hasEnded(const OVERLAPPED& request) { return request.Internal != STATUS_PENDING; }

// Cancels this thread's request on the port and waits at most limitMs (kWaitForever: no limit)
// for it to end; true if it did, and neither the request nor its buffer is used any more. On a
// closed port the close has cancelled it already; the wait is on the request's own event, never
// on the handle, and the request's status decides: a write left to the driver earlier may set
// the same event.
bool cancelAndWait(SerialPort::Native& native, OVERLAPPED& request, int limitMs)
{
    native.whileOpen([](HANDLE port) { CancelIo(port); });
    const Deadline deadline(limitMs);
    for (;;) {
        if (hasEnded(request)) return true;
        if (deadline.passed()) return false;
        // Set, yet this request goes on: the event is one that the earlier write set, so look
        // again shortly rather than spin.
        if (WaitForSingleObject(request.hEvent, waitLimit(deadline.remainingMs())) != WAIT_TIMEOUT &&
            !hasEnded(request)) {
            sleepMs(kCancelCheckMs);
        }
    }
}

// A write's request and its own copy of the bytes: a driver that does not end the request
// when cancelled may still use both, so they are then left to it rather than freed.
struct WriteRequest {
    OVERLAPPED overlapped{};
    std::vector<unsigned char> bytes;
};

// True while the device answers. A vanished line makes ClearCommError fail (under Wine, with
// ERROR_NOT_READY once a pseudo-terminal has gone); a closed port counts as gone.
bool lineAnswers(SerialPort::Native& native, COMSTAT* status = nullptr)
{
    BOOL answered = FALSE;
    native.whileOpen([&](HANDLE port) {
        DWORD errors = 0;
        COMSTAT ignored{};
        answered = ClearCommError(port, &errors, status ? status : &ignored);
    });
    return answered != FALSE;
}

// A COM port's driver queue. A write has completed once the driver took its bytes (Wine
// completes it as soon as its kernel has them), not once they went out, so a write waits for the
// queue to empty. A pseudo-terminal under Wine always reports it empty.
class DriverOutputQueue final : public OutputQueue {
public:
    explicit DriverOutputQueue(SerialPort::Native& native) : native(native) {}

    int unsentBytes() override
    {
        COMSTAT status{};
        return lineAnswers(native, &status) ? static_cast<int>(status.cbOutQue) : -1;
    }
    void discard() override
    {
        native.whileOpen([](HANDLE port) { PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR); });
    }

private:
    SerialPort::Native& native;
};

// What the system tells of a connection's sending: Windows 10 version 1703 and later can, Wine
// (8.0) cannot.
bool connectionInfo(SerialPort::Native& native, TCP_INFO_v0& info)
{
    bool told = false;
    native.whileOpen([&](HANDLE port) {
        DWORD version = 0;
        DWORD returned = 0;
        told = WSAIoctl(reinterpret_cast<SOCKET>(port), SIO_TCP_INFO, &version, sizeof version, &info, sizeof info,
                        &returned, nullptr, nullptr) == 0;
    });
    return told;
}

// A connection's bytes that the mount has not acknowledged: a write's bytes are all acknowledged
// once they have left (the count sent has grown by them) and nothing is in flight. Where the
// system cannot tell, a write is done once the network stack took its bytes. Bytes it took cannot
// be withdrawn; the only way to keep them from reaching the mount later is to abort the
// connection, which drops them: the line is then gone, as a serial line whose cable was pulled.
class ConnectionOutputQueue final : public OutputQueue {
public:
    ConnectionOutputQueue(SerialPort::Native& native, int count) : native(native), count(count)
    {
        TCP_INFO_v0 before{};
        canTell = connectionInfo(native, before);
        sentBefore = before.BytesOut;
    }

    int unsentBytes() override
    {
        if (!canTell) return 0;
        TCP_INFO_v0 info{};
        if (!connectionInfo(native, info)) return -1;
        // A reset or failed connection never sees its bytes acknowledged; no need to wait.
        if (info.State != TCPSTATE_ESTABLISHED && info.State != TCPSTATE_CLOSE_WAIT) return -1;
        const ULONG64 sent = info.BytesOut - sentBefore;
        const ULONG64 unsent = sent < static_cast<ULONG64>(count) ? count - sent : 0;
        return static_cast<int>(unsent + info.BytesInFlight);
    }
    void discard() override
    {
        // Lingering for 0 s makes the close a reset that drops what is still queued.
        native.whileOpen([](HANDLE port) {
            const linger abort{1, 0};
            setsockopt(reinterpret_cast<SOCKET>(port), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                       sizeof abort);
        });
        native.release();
    }

private:
    SerialPort::Native& native;
    int count;
    bool canTell = false;
    ULONG64 sentBefore = 0;
};

// Hands count bytes to the driver or network stack and waits, within deadline, until it took
// them. A write still going at the limit is cancelled; the request and its copy of the bytes
// are left to a driver that does not end it.
SerialWriteResult queueBytes(SerialPort::Native& native, const unsigned char* bytes, int count, Event& writeDone,
                             const Deadline& deadline)
{
    auto request = std::make_unique<WriteRequest>();
    request->overlapped.hEvent = writeDone.native().handle;
    request->bytes.assign(bytes, bytes + count);
    bool started = false;
    native.whileOpen([&](HANDLE port) {
        started = WriteFile(port, request->bytes.data(), static_cast<DWORD>(count), nullptr, &request->overlapped) ||
                  GetLastError() == ERROR_IO_PENDING;
    });
    if (!started) return SerialWriteResult::Failed;

    // An event set by a request abandoned earlier says nothing about this one.
    if (WaitForSingleObject(request->overlapped.hEvent, waitLimit(deadline.remainingMs())) != WAIT_OBJECT_0 ||
        !hasEnded(request->overlapped)) {
        // CancelIo touches only this thread's requests, so a read pending on another thread goes on.
        if (!cancelAndWait(native, request->overlapped, kCancelledWriteEndMs)) static_cast<void>(request.release());
        return SerialWriteResult::TimedOut;
    }
    DWORD written = 0;
    if (!GetOverlappedResult(native.port, &request->overlapped, &written, FALSE) ||
        written != static_cast<DWORD>(count)) {
        return SerialWriteResult::Failed;
    }
    return SerialWriteResult::Completed;
}

std::unique_ptr<SerialPort> openNetworkLine(int portNumber, const NetworkAddress& address)
{
    OpenFailure failure;
    const SOCKET socket = connectToMount(address, failure);
    if (socket == INVALID_SOCKET) {
        noteOpenFailure(portNumber, failure);
        return nullptr;
    }
    std::unique_ptr<SerialPort> line = networkLineOn(socket);
    if (!line) noteOpenFailure(portNumber, {OpenFailure::CannotConnect, "the system could not make the line's event"});
    return line;
}

}  // namespace

std::unique_ptr<SerialPort> networkLineOn(SOCKET socket)
{
    HANDLE readDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!readDone) {
        closesocket(socket);
        return nullptr;
    }
    configureConnection(socket);
    auto native = std::make_unique<SerialPort::Native>();
    native->port = reinterpret_cast<HANDLE>(socket);
    native->readDone = readDone;
    native->network = true;
    return std::make_unique<SerialPort>(std::move(native));
}

std::unique_ptr<SerialPort> SerialPort::open(int portNumber)
{
    noteOpenFailure(portNumber, {});
    NetworkAddress address;
    if (networkAddressOf(portNumber, address)) return openNetworkLine(portNumber, address);
    // The \\.\ form also reaches COM10 and above, which the bare name does not.
    char path[24];
    wsprintfA(path, "\\\\.\\COM%d", portNumber);
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE readDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!readDone) {
        CloseHandle(port);
        return nullptr;
    }
    configureLine(port);
    auto native = std::make_unique<Native>();
    native->port = port;
    native->readDone = readDone;
    return std::make_unique<SerialPort>(std::move(native));
}

SerialPort::SerialPort(std::unique_ptr<Native> native) : native_(std::move(native)) {}

SerialPort::~SerialPort()
{
    native_->release();
    CloseHandle(native_->readDone);
}

SerialWriteResult SerialPort::write(const unsigned char* bytes, int count, Event& writeDone, int timeoutMs,
                                     NetworkWrite until, std::chrono::steady_clock::time_point* sentAt)
{
    // Without its completion signal the write could be neither timed nor safely abandoned.
    if (!writeDone.valid() || native_->farEndGone) return SerialWriteResult::Failed;
    writeDone.reset();
    const Deadline deadline(timeoutMs);
    if (!native_->network) {
        DriverOutputQueue driver(*native_);
        const SerialWriteResult result = finishWrite(driver, queueBytes(*native_, bytes, count, writeDone, deadline), deadline);
        if (sentAt) *sentAt = std::chrono::steady_clock::now();
        return result;
    }
    // Looks at the connection before the bytes are handed over. A write taken whole is done;
    // one that was not is finished all the same, so that none of it reaches the mount later.
    ConnectionOutputQueue connection(*native_, count);
    const SerialWriteResult queued = queueBytes(*native_, bytes, count, writeDone, deadline);
    if (sentAt) *sentAt = std::chrono::steady_clock::now();
    if (until == NetworkWrite::Taken && queued == SerialWriteResult::Completed) return queued;
    return finishWrite(connection, queued, deadline);
}

SerialReadResult SerialPort::read(unsigned char* buffer, int capacity, Event& stop)
{
    const HANDLE signals[2] = {native_->readDone, stop.native().handle};
    // An invalid stop event cannot be waited on; the read then waits for the line alone.
    const DWORD watched = stop.valid() ? 2 : 1;
    // Looking at stop before each read keeps a line that never pauses from hiding it.
    while (stop.wait(0) != WaitResult::Signalled) {
        OVERLAPPED request{};
        request.hEvent = native_->readDone;
        // A read that completes at once signals readDone too, so both paths meet in the wait.
        bool started = false;
        native_->whileOpen([&](HANDLE port) {
            started = ReadFile(port, buffer, static_cast<DWORD>(capacity), nullptr, &request) ||
                      GetLastError() == ERROR_IO_PENDING;
        });
        if (!started) return {SerialReadOutcome::LineGone, 0};
        DWORD waited;
        do {
            waited = WaitForMultipleObjects(watched, signals, FALSE, kStopCheckMs);
        } while (waited == WAIT_TIMEOUT);
        if (waited != WAIT_OBJECT_0) {
            // Stopped, or the wait itself failed: either way no read may go on into buffer, so the
            // wait has no limit; a reader that never comes back is abandoned with its buffer.
            cancelAndWait(*native_, request, kWaitForever);
            return {waited == WAIT_OBJECT_0 + 1 ? SerialReadOutcome::Stopped : SerialReadOutcome::LineGone, 0};
        }
        // The request has completed, so this looks only at the request, never at the handle.
        // A read that ends on the interval time-out can report it as a failure (Wine does, under
        // a steady stream), yet it holds what arrived: only other failures mean the line is gone.
        DWORD got = 0;
        if (!GetOverlappedResult(native_->port, &request, &got, FALSE) && GetLastError() != ERROR_TIMEOUT) {
            native_->farEndGone = native_->network;
            return {SerialReadOutcome::LineGone, 0};
        }
        if (got > 0) return {SerialReadOutcome::Data, static_cast<int>(got)};
        // A socket's read completes empty only once the far end has closed the connection.
        if (native_->network) {
            native_->farEndGone = true;
            return {SerialReadOutcome::LineGone, 0};
        }
        // Empty completions come now and then on a live line while the port is busy writing (Wine
        // gives them under a steady stream both ways); the port itself says whether it is still
        // there. Pausing on the stop event keeps a live line from spinning without delaying a stop.
        if (!lineAnswers(*native_)) return {SerialReadOutcome::LineGone, 0};
        if (stop.wait(kEmptyReadPauseMs) == WaitResult::Signalled) break;
    }
    return {SerialReadOutcome::Stopped, 0};
}

// Output is left alone: every write has gone out or been withdrawn by the time it returned, and
// under Wine discarding output drops bytes that a write had already reported as sent.
void SerialPort::purge()
{
    if (!native_->network) {
        native_->whileOpen([](HANDLE port) { PurgeComm(port, PURGE_RXCLEAR); });
        return;
    }
    native_->whileOpen([](HANDLE port) {
        const SOCKET socket = reinterpret_cast<SOCKET>(port);
        char unread[256];
        u_long waiting = 0;
        while (ioctlsocket(socket, FIONREAD, &waiting) == 0 && waiting > 0) {
            const int size = static_cast<int>(std::min<u_long>(waiting, sizeof unread));
            if (recv(socket, unread, size, 0) <= 0) break;
        }
    });
}

// Closing the handle also cancels a read pending on another thread; that reader then finds the
// port closed and issues nothing further.
void SerialPort::close() { native_->release(); }

}  // namespace platform
