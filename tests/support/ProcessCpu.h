#pragma once

// What this process has cost so far, for tests that must show a thread is not spinning or
// memory is not growing.
double processCpuMs();       // user and system time of all its threads
double residentMemoryMb();   // its resident set

// The sanitizers hold on to freed memory on purpose, which makes resident memory no measure of
// a leak under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizersHoldMemory = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitizersHoldMemory = true;
#else
constexpr bool kSanitizersHoldMemory = false;
#endif
#else
constexpr bool kSanitizersHoldMemory = false;
#endif
