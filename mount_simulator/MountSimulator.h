#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/thread.h"
#include "mount_simulator/Lx200Mount.h"
#include "mount_simulator/MountBehaviour.h"
#include "mount_simulator/MountLine.h"
#include "mount_simulator/MountObserver.h"
#include "mount_simulator/ReceivedCommand.h"

// An LX200 mount at the far end of a serial line: records every command it receives and
// answers as its behaviour says. A reader thread takes the commands in, an answer thread sends
// the answers, so a slow answer never holds up the recording of later commands.
// Any thread may call the members; start, stop and dropLine only the owner's.
class MountSimulator {
public:
    // Serves COM<portNumber>, opened here; start() fails if it could not be.
    explicit MountSimulator(int portNumber);
    // Serves line; start() fails if it is null.
    explicit MountSimulator(std::unique_ptr<MountLine> line);
    ~MountSimulator();
    MountSimulator(const MountSimulator&) = delete;
    MountSimulator& operator=(const MountSimulator&) = delete;

    // Before start only; observer must outlive the simulator's threads, which stop() ends.
    void setObserver(MountObserver* observer) { observer_ = observer; }

    // Starts serving and the clock of the timestamps. False if there is no line, if it failed
    // to start, or on a second call.
    bool start();
    // Ends both threads and closes the line, dropping answers not yet sent. Idempotent.
    void stop();
    // Closes the line as if the cable were pulled: the other end sees it go, and nothing more
    // is recorded or sent. To the other end that is all stopping is, so it is the same.
    void dropLine() { stop(); }

    // True from start until the line fails, is dropped or the simulator stops.
    bool serving() const;

    // Applies to commands received from now on.
    void setBehaviour(const MountBehaviour& behaviour);

    // Where the mount points now, for people: "RA 02:34:56  Dec +12*34'56".
    std::string position() const;

    std::vector<ReceivedCommand> commands() const;
    // Blocks until at least count commands have been recorded; false if that took longer than
    // timeoutMs.
    bool waitForCommands(std::size_t count, int timeoutMs) const;

    // Sends bytes at once, whatever the mount is doing; nothing once the line is closed.
    void send(const std::string& bytes);
    // Sends count random bytes, the same ones for the same seed.
    void sendNoise(std::size_t count, unsigned seed);

private:
    using Clock = std::chrono::steady_clock;

    struct PendingAnswer {
        Clock::time_point due;
        std::string text;
        int byteGapMs;
    };

    static void runReader(void* simulator);
    static void runAnswerer(void* simulator);
    void readUntilStopped();
    void answerUntilStopped();
    void record(const ReceivedCommand& command);
    bool sendAnswer(const PendingAnswer& answer);
    // False if the simulator began to stop first.
    bool pauseUntil(Clock::time_point until);
    bool write(const unsigned char* bytes, std::size_t count);
    double millisecondsSinceStart() const;

    MountObserver* observer_ = nullptr;
    Lx200Mount mount_;  // its commands are cut by the reader thread alone; its answers under mutex_
    Clock::time_point startedAt_;
    platform::Event stopReading_{platform::EventReset::Manual};
    platform::Thread reader_;
    platform::Thread answerer_;
    bool started_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    MountBehaviour behaviour_;
    std::vector<ReceivedCommand> commands_;
    std::deque<PendingAnswer> answers_;
    bool serving_ = false;
    bool stopping_ = false;

    // Held for each write, so writes from several threads never overlap, and for closing.
    std::mutex writing_;
    std::unique_ptr<MountLine> line_;
};
