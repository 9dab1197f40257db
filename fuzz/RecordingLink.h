#pragma once

// What the fuzz targets put around the mount protocol: a serial port and a listener that record,
// in one log and in order, every call the protocol makes, and check each call as it happens.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "link/TelescopeListener.h"
#include "link/iSerialPortLink.h"

// Stops the run when a property of the link does not hold; the fuzzer (or the replay program)
// reports the trap as a crash and keeps the input.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::fflush(stderr);                                                               \
            __builtin_trap();                                                                  \
        }                                                                                      \
    } while (0)

using LinkLog = std::vector<std::string>;

// A pulse the mount times itself: ":Mg", a direction, four digits of milliseconds, then '#'.
inline bool isMountTimedMove(const char* text)
{
    if (std::strlen(text) != 9 || std::strncmp(text, ":Mg", 3) != 0 || std::strchr("nsew", text[3]) == nullptr ||
        text[8] != '#') {
        return false;
    }
    for (int i = 4; i < 8; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// The only commands the link may ever write to a mount.
inline bool isGuideLinkCommand(const char* text)
{
    static const char* const kCommands[] = {":GS#", ":GR#", ":GD#", ":RG#", ":Mn#", ":Ms#", ":Mw#",
                                            ":Me#", ":Qn#", ":Qs#", ":Qw#", ":Qe#", ":Q#"};
    for (const char* command : kCommands) {
        if (std::strcmp(text, command) == 0) return true;
    }
    return isMountTimedMove(text);
}

// Stands in for the serial port. Logs "open <port>", "reader", each command as written, and
// "close". Opening succeeds or fails as openResults says: bit i (mod 8) for the i-th attempt.
class RecordingSerialLink final : public iSerialPortLink {
public:
    RecordingSerialLink(LinkLog& log, std::uint8_t openResults, bool writesSucceed)
        : log(log), openResults(openResults), writesSucceed(writesSucceed)
    {
    }

    bool isOpen() const { return open; }

    bool openPort(int port) override
    {
        FUZZ_CHECK(!open);  // a port is never opened over an open one
        FUZZ_CHECK(port >= 0 && port <= 255);
        log.push_back("open " + std::to_string(port));
        open = ((openResults >> (attempts % 8)) & 1) != 0;
        ++attempts;
        return open;
    }

    void startReader() override
    {
        FUZZ_CHECK(open && !readerRunning);
        readerRunning = true;
        log.push_back("reader");
    }

    bool sendCommand(const char* text) override
    {
        // A command written before the reader runs would lose its reply.
        FUZZ_CHECK(open && readerRunning);
        FUZZ_CHECK(isGuideLinkCommand(text));
        // Every move the link times runs at the guide rate, selected right before it; :Mg moves at
        // the guide rate by its own definition.
        if (text[1] == 'M' && !isMountTimedMove(text)) FUZZ_CHECK(!log.empty() && log.back() == ":RG#");
        log.push_back(text);
        return writesSucceed;
    }

    void closePort() override
    {
        FUZZ_CHECK(open);
        open = false;
        readerRunning = false;
        log.push_back("close");
    }

private:
    LinkLog& log;
    std::uint8_t openResults;
    bool writesSucceed;
    unsigned attempts = 0;
    bool open = false;
    bool readerRunning = false;
};

// Logs each status code as "status <code>"; the link raises only codes 1 to 9.
class RecordingListener final : public TelescopeListener {
public:
    explicit RecordingListener(LinkLog& log) : log(log) {}

    void onStatus(int code) override
    {
        FUZZ_CHECK(code >= 1 && code <= 9);
        log.push_back("status " + std::to_string(code));
    }

private:
    LinkLog& log;
};
