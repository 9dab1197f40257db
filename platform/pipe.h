#pragma once

#include <memory>

namespace platform {

// An in-process byte channel. A write of up to 32 bytes reaches the reader whole and in order;
// a writer blocks while the buffer is full. One reader takes bytes one at a time.
class BytePipe {
public:
    explicit BytePipe(int bufferSize);
    ~BytePipe();
    BytePipe(const BytePipe&) = delete;
    BytePipe& operator=(const BytePipe&) = delete;

    // Writes count bytes with one write; false if the pipe is broken. Any thread.
    bool write(const unsigned char* bytes, int count);

    // The number of bytes waiting, without taking any and without blocking.
    int available();

    // Takes one byte, blocking until one is there; false if none could be read.
    bool readByte(unsigned char& byte);

    struct Native;

private:
    std::unique_ptr<Native> native_;
};

}  // namespace platform
