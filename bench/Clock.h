#pragma once

// Every time the benchmark records is in milliseconds on the steady clock, counted from the
// program's start, so that times taken on different threads (the link's, the simulated mount's,
// the benchmark's own) compare directly.
namespace bench {

double nowMs();
void sleepMs(double ms);
// Sleeps until the clock reads atMs; at once if it already has.
void sleepUntilMs(double atMs);

}  // namespace bench
