#pragma once

#include <string>

#include "link/StatusCode.h"
#include "platform/serial_devices.h"
#include "tester/CheckResult.h"
#include "tester/HandshakeReplies.h"
#include "tester/MountUnderTest.h"

// Why the LX200 link's handshake did not reach Ready, told from the replies it judged: the
// cause, then what to do about it.
namespace handshake {

// The dialog's words for code: the link reports "Ready" (status 7).
std::string linkReports(StatusCode code);

// forPosition: the handshake was to read the position, which needs the long format.
CheckResult failure(MountUnderTest::Connection outcome, const HandshakeReplies& replies,
                    const devices::PortChoice& port, bool forPosition);

}  // namespace handshake
