#pragma once

#include <memory>

namespace platform {

enum class EventReset {
    Manual,     // stays signalled until reset
    Automatic,  // a wait that sees the signal consumes it
};

enum class WaitResult {
    Signalled,
    TimedOut,
    Failed,  // the event could not be created or waited on; the wait returned at once
};

enum class FirstOfTwo { First, Second, TimedOut, Failed };

// A signal that threads can wait on with a time-out. Creation never throws: an event that the
// system could not create makes every wait return Failed at once, and setting it does nothing.
class Event {
public:
    explicit Event(EventReset reset);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // False when the system could not create the event.
    bool valid() const;

    void set();
    void reset();

    // Waits up to timeoutMs for the signal; any thread, blocks.
    WaitResult wait(int timeoutMs);

    // Waits up to timeoutMs for either event; when both are signalled the first one wins.
    static FirstOfTwo waitForFirst(Event& first, Event& second, int timeoutMs);

    // The backend's own representation, for the other services of the same backend.
    struct Native;
    Native& native() { return *native_; }

private:
    std::unique_ptr<Native> native_;
};

}  // namespace platform
