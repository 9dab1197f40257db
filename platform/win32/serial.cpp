#include "platform/serial.h"

#include <windows.h>

#include "platform/win32/line_settings.h"
#include "platform/win32/native_event.h"
#include "platform/win32/wait_limit.h"

namespace platform {
namespace {

// How often a read that waits for bytes looks at its stop event, at most.
constexpr DWORD kStopCheckMs = 200;
// Empty reads in a row, kEmptyReadPauseMs apart, after which the line counts as gone: half a
// second of nothing but empty reads.
constexpr int kEmptyReadsOfAGoneLine = 50;
constexpr int kEmptyReadPauseMs = 10;
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
    HANDLE port = INVALID_HANDLE_VALUE;
    // Manual-reset completion signal of the reader's overlapped reads, reused by each.
    HANDLE readDone = nullptr;
};

std::unique_ptr<SerialPort> SerialPort::open(int portNumber)
{
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
    CloseHandle(native_->port);
    CloseHandle(native_->readDone);
}

SerialWriteResult SerialPort::write(const unsigned char* bytes, int count, Event& writeDone, int timeoutMs)
{
    // Without its completion signal the write could be neither timed nor safely abandoned.
    if (!writeDone.valid()) return SerialWriteResult::Failed;
    writeDone.reset();
    OVERLAPPED request{};
    request.hEvent = writeDone.native().handle;
    if (!WriteFile(native_->port, bytes, static_cast<DWORD>(count), nullptr, &request) &&
        GetLastError() != ERROR_IO_PENDING) {
        return SerialWriteResult::Failed;
    }
    DWORD written = 0;
    if (WaitForSingleObject(request.hEvent, waitLimit(timeoutMs)) != WAIT_OBJECT_0) {
        // CancelIo touches only this thread's requests, so a read pending on another thread
        // goes on. Waiting for the cancelled write keeps request and bytes from outliving us.
        CancelIo(native_->port);
        GetOverlappedResult(native_->port, &request, &written, TRUE);
        return SerialWriteResult::TimedOut;
    }
    if (!GetOverlappedResult(native_->port, &request, &written, FALSE) || written != static_cast<DWORD>(count)) {
        return SerialWriteResult::Failed;
    }
    return SerialWriteResult::Completed;
}

SerialReadResult SerialPort::read(unsigned char* buffer, int capacity, Event& stop)
{
    const HANDLE signals[2] = {native_->readDone, stop.native().handle};
    // An invalid stop event cannot be waited on; the read then waits for the line alone.
    const DWORD watched = stop.valid() ? 2 : 1;
    int emptyInARow = 0;
    // Looking at stop before each read keeps a line that never pauses from hiding it.
    while (stop.wait(0) != WaitResult::Signalled) {
        OVERLAPPED request{};
        request.hEvent = native_->readDone;
        // A read that completes at once signals readDone too, so both paths meet in the wait.
        if (!ReadFile(native_->port, buffer, static_cast<DWORD>(capacity), nullptr, &request) &&
            GetLastError() != ERROR_IO_PENDING) {
            return {SerialReadOutcome::LineGone, 0};
        }
        DWORD waited;
        do {
            waited = WaitForMultipleObjects(watched, signals, FALSE, kStopCheckMs);
        } while (waited == WAIT_TIMEOUT);
        DWORD got = 0;
        if (waited != WAIT_OBJECT_0) {
            // Stopped, or the wait itself failed: either way no read may go on into buffer.
            CancelIo(native_->port);
            GetOverlappedResult(native_->port, &request, &got, TRUE);
            return {waited == WAIT_OBJECT_0 + 1 ? SerialReadOutcome::Stopped : SerialReadOutcome::LineGone, 0};
        }
        // A read that ends on the interval time-out can report it as a failure (Wine does, under
        // a steady stream), yet it holds what arrived: only other failures mean the line is gone.
        if (!GetOverlappedResult(native_->port, &request, &got, FALSE) && GetLastError() != ERROR_TIMEOUT) {
            return {SerialReadOutcome::LineGone, 0};
        }
        if (got > 0) return {SerialReadOutcome::Data, static_cast<int>(got)};
        // Empty completions come now and then while the port is busy writing (Wine gives them
        // under a steady stream both ways); a line that hung up gives nothing else. Pausing on
        // the stop event keeps either case from spinning without delaying a stop.
        if (++emptyInARow == kEmptyReadsOfAGoneLine) return {SerialReadOutcome::LineGone, 0};
        if (stop.wait(kEmptyReadPauseMs) == WaitResult::Signalled) break;
    }
    return {SerialReadOutcome::Stopped, 0};
}

void SerialPort::purge() { PurgeComm(native_->port, kPurgeAll); }

}  // namespace platform
