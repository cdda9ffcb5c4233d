#include "link/input_wait.h"

#include <climits>
#include <poll.h>

void wait_for_input(std::intptr_t key_wait, std::uint32_t max_ms)
{
    pollfd entry{static_cast<int>(key_wait), POLLIN, 0};
    const int timeout = max_ms < INT_MAX ? static_cast<int>(max_ms) : INT_MAX;
    poll(&entry, key_wait >= 0 ? 1 : 0, timeout);
}
