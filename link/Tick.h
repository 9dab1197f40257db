#pragma once

// The unit of all link timing: one heartbeat period. Pulse lengths and the handshake time-out
// are counted in ticks.
constexpr int kTickMs = 100;
