#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "link/TelescopeListener.h"

// A listener that keeps every status code the link reports, for tests on any thread.
class StatusRecorder final : public TelescopeListener {
public:
    void onStatus(int code) override;

    std::vector<int> codes() const;

    // Waits until at least count codes have arrived; false if timeoutMs passed first.
    bool waitForCount(size_t count, int timeoutMs) const;

private:
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<int> received;
};
