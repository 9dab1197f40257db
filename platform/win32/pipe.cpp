#include "platform/pipe.h"

#include <windows.h>

namespace platform {

// An anonymous pipe with synchronous ends: a write returns once all its bytes are in the buffer,
// blocking while it is full, and writes from one thread at a time arrive whole and in order.
struct BytePipe::Native {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
};

BytePipe::BytePipe(int bufferSize) : native_(std::make_unique<Native>())
{
    HANDLE readEnd;
    HANDLE writeEnd;
    if (CreatePipe(&readEnd, &writeEnd, nullptr, static_cast<DWORD>(bufferSize))) {
        native_->readEnd = readEnd;
        native_->writeEnd = writeEnd;
    }
}

BytePipe::~BytePipe()
{
    if (native_->readEnd) CloseHandle(native_->readEnd);
    if (native_->writeEnd) CloseHandle(native_->writeEnd);
}

bool BytePipe::write(const unsigned char* bytes, int count)
{
    DWORD written = 0;
    return WriteFile(native_->writeEnd, bytes, static_cast<DWORD>(count), &written, nullptr) &&
           written == static_cast<DWORD>(count);
}

int BytePipe::available()
{
    DWORD waiting = 0;
    if (!PeekNamedPipe(native_->readEnd, nullptr, 0, nullptr, &waiting, nullptr)) return 0;
    return static_cast<int>(waiting);
}

bool BytePipe::readByte(unsigned char& byte)
{
    DWORD got = 0;
    return ReadFile(native_->readEnd, &byte, 1, &got, nullptr) && got == 1;
}

}  // namespace platform
