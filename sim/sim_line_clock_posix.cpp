#include <cerrno>
#include <ctime>
#include <poll.h>

#include "sim/sim_line.h"

namespace {

timespec epoch{};

std::uint64_t since_epoch(const timespec& when)
{
    const auto seconds = static_cast<std::int64_t>(when.tv_sec - epoch.tv_sec);
    const std::int64_t nanoseconds = seconds * 1'000'000'000 + (when.tv_nsec - epoch.tv_nsec);
    return nanoseconds > 0 ? static_cast<std::uint64_t>(nanoseconds) : 0;
}

timespec at(std::uint64_t when)
{
    const std::uint64_t nanoseconds = static_cast<std::uint64_t>(epoch.tv_nsec) + when;
    return timespec{epoch.tv_sec + static_cast<time_t>(nanoseconds / 1'000'000'000),
                    static_cast<long>(nanoseconds % 1'000'000'000)};
}

std::uint64_t now_ns()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return since_epoch(now);
}

void sleep_until_ns(std::uint64_t when)
{
    const timespec until = at(when);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

void wait_input_until_ns(std::intptr_t key_wait, std::uint64_t when)
{
    for (;;) {
        const std::uint64_t now = now_ns();
        if (now >= when)
            return;
        const std::uint64_t left = when - now;
        const timespec wait{static_cast<time_t>(left / 1'000'000'000),
                            static_cast<long>(left % 1'000'000'000)};
        pollfd entry{static_cast<int>(key_wait), POLLIN, 0};
        const int ready = ppoll(&entry, 1, &wait, nullptr);
        if (ready != 0 && !(ready < 0 && errno == EINTR))
            return;
    }
}

}  // namespace

SimLineClock sim_line_real_clock()
{
    clock_gettime(CLOCK_MONOTONIC, &epoch);
    return SimLineClock{now_ns, sleep_until_ns, wait_input_until_ns};
}
