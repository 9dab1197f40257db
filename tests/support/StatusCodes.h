#pragma once

#include "link/StatusCode.h"

// The status codes as the listener receives them, for comparing with what it recorded.
constexpr int kConnecting = static_cast<int>(StatusCode::Connecting);
constexpr int kCannotOpenPort = static_cast<int>(StatusCode::CannotOpenPort);
constexpr int kTimeout = static_cast<int>(StatusCode::Timeout);
constexpr int kAlreadyConnected = static_cast<int>(StatusCode::AlreadyConnected);
constexpr int kCommunicationError = static_cast<int>(StatusCode::CommunicationError);
constexpr int kNotConnected = static_cast<int>(StatusCode::NotConnected);
constexpr int kReady = static_cast<int>(StatusCode::Ready);
constexpr int kSendingCorrection = static_cast<int>(StatusCode::SendingCorrection);
constexpr int kConnectionClosed = static_cast<int>(StatusCode::ConnectionClosed);
