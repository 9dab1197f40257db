#pragma once

// Receives the link's status codes (StatusCode values) on the link's frame reader thread.
class TelescopeListener {
public:
    virtual void onStatus(int code) = 0;

protected:
    ~TelescopeListener() = default;
};
