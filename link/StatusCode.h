#pragma once

// What the link reports through TelescopeListener::onStatus; the dialog turns each into one line
// of text. The link raises only these nine.
enum class StatusCode : int {
    Connecting = 1,         // the port has just been opened
    CannotOpenPort = 2,     // opening the port failed
    Timeout = 3,            // the handshake did not finish within 60 ticks
    AlreadyConnected = 4,   // a connect arrived while a port is open
    CommunicationError = 5, // a reply began with "!", or a handshake reply had the wrong shape
    NotConnected = 6,       // a disconnect or a correction arrived while no port is open
    Ready = 7,              // the handshake finished, or a correction pulse ended
    SendingCorrection = 8,  // a correction was accepted
    ConnectionClosed = 9,   // a disconnect closed the port
};
