#include <windows.h>

#include "link/input_wait.h"
#include "sim/sim_line.h"

namespace {

LARGE_INTEGER frequency{};
LARGE_INTEGER epoch{};

std::uint64_t now_ns()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const auto ticks = static_cast<std::uint64_t>(now.QuadPart - epoch.QuadPart);
    const auto per_second = static_cast<std::uint64_t>(frequency.QuadPart);
    return ticks / per_second * 1'000'000'000 + ticks % per_second * 1'000'000'000 / per_second;
}

// Sleep has the system timer's granularity, so it covers whole milliseconds
// but the last, and the rest is waited out yielding the processor.
void sleep_until_ns(std::uint64_t when)
{
    for (;;) {
        const std::uint64_t now = now_ns();
        if (now >= when)
            return;
        const std::uint64_t left = when - now;
        Sleep(left >= 2'000'000 ? static_cast<DWORD>(left / 1'000'000 - 1) : 0);
    }
}

void wait_input_until_ns(std::intptr_t key_wait, std::uint64_t when)
{
    const std::uint64_t now = now_ns();
    if (now < when)
        wait_for_input(key_wait, static_cast<std::uint32_t>((when - now + 999'999) / 1'000'000));
}

}  // namespace

SimLineClock sim_line_real_clock()
{
    // The system timer ticks every millisecond instead of every 15.6 while
    // the program runs.
    timeBeginPeriod(1);
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&epoch);
    return SimLineClock{now_ns, sleep_until_ns, wait_input_until_ns};
}
