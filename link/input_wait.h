#pragma once
// Waiting on the operator's input, for driver backends whose device cannot be
// waited on together with it. The one file that knows what a wait object is
// on the platform is chosen by the build.

#include <cstdint>

// Returns once key_wait (from term_wait_object) has input or max_ms
// milliseconds have passed; with -1, after max_ms.
void wait_for_input(std::intptr_t key_wait, std::uint32_t max_ms);
