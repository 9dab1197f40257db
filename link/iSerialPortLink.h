#pragma once

// The mount protocol's access to the serial port. Called only on the frame reader's thread.
class iSerialPortLink {
public:
    // Opens and configures COM<port>; false if it is absent or in use.
    virtual bool openPort(int port) = 0;
    // Starts the serial reader, which forwards received bytes into the control pipe.
    virtual void startReader() = 0;
    // Writes an LX200 command (at most its first 30 characters) to the open port, waiting at
    // most 1000 ms; false if the write failed or did not finish in time. Nothing is retried.
    virtual bool sendCommand(const char* text) = 0;
    // Stops the serial reader (waiting at most 10 s), discards what is queued and closes the
    // port. Nothing is written to the mount.
    virtual void closePort() = 0;

protected:
    ~iSerialPortLink() = default;
};
