#include "sim/sim_line.h"

#include <algorithm>
#include <vector>

#include "sim/sim_world.h"

namespace {

std::uint64_t line_now(SimWorld& world)
{
    const std::uint64_t now = world.line.clock.now_ns();
    world.now_us = now / 1000;
    return now;
}

}  // namespace

std::uint64_t sim_line_readable_at(std::uint64_t left_ns)
{
    return (left_ns + SIM_LATENCY_NS - 1) / SIM_LATENCY_NS * SIM_LATENCY_NS;
}

void sim_line_start(SimWorld& world, const SimLineClock& clock)
{
    world.line = SimLine{};
    world.line.realtime = true;
    world.line.clock = clock;
    const std::uint64_t now = line_now(world);
    world.line.host_free_ns = now;
    world.line.board_free_ns = now;
}

void sim_line_deliver(SimWorld& world)
{
    const std::uint64_t now = line_now(world);
    std::deque<SimInFlight>& in_flight = world.line.in_flight;
    while (!in_flight.empty() && in_flight.front().readable_ns <= now) {
        world.rx.push_back(in_flight.front().byte);
        in_flight.pop_front();
    }
}

void sim_line_write(SimWorld& world, const std::uint8_t* bytes, std::uint32_t count)
{
    SimLine& line = world.line;
    const std::uint64_t start = std::max(line_now(world), line.host_free_ns);
    std::vector<std::uint8_t> answer;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t arrived = start + (i + std::uint64_t{1}) * SIM_BYTE_NS;
        answer.clear();
        sim_board_receive(world.board, bytes[i], arrived / 1000, answer);
        for (std::uint8_t byte : answer) {
            const std::uint64_t left = std::max(arrived, line.board_free_ns) + SIM_BYTE_NS;
            line.board_free_ns = left;
            line.in_flight.push_back(SimInFlight{byte, left, sim_line_readable_at(left)});
        }
    }
    line.host_free_ns = start + count * SIM_BYTE_NS;
    line.clock.sleep_until_ns(line.host_free_ns);
    line_now(world);
}

std::uint32_t sim_line_read(SimWorld& world, std::uint8_t* buffer, std::uint32_t count)
{
    SimLine& line = world.line;
    const bool timed = world.read_timeout_ms > 0;
    const std::uint64_t deadline = line_now(world) + std::uint64_t{world.read_timeout_ms} * 1'000'000;
    for (;;) {
        sim_line_deliver(world);
        if (world.rx.size() >= count)
            break;
        const std::uint64_t now = world.line.clock.now_ns();
        if (line.in_flight.empty() && !timed)
            break;
        if (timed && now >= deadline)
            break;
        std::uint64_t until = line.in_flight.empty() ? deadline : line.in_flight.front().readable_ns;
        if (timed)
            until = std::min(until, deadline);
        line.clock.sleep_until_ns(until);
    }
    const auto taken = static_cast<std::uint32_t>(std::min<std::size_t>(count, world.rx.size()));
    std::copy_n(world.rx.begin(), taken, buffer);
    world.rx.erase(world.rx.begin(), world.rx.begin() + taken);
    return taken;
}

void sim_line_purge(SimWorld& world)
{
    sim_line_deliver(world);
    world.rx.clear();
    const std::uint64_t now = world.line.clock.now_ns();
    std::deque<SimInFlight>& in_flight = world.line.in_flight;
    while (!in_flight.empty() && in_flight.front().left_ns <= now)
        in_flight.pop_front();
}

void sim_line_wait(SimWorld& world, std::intptr_t key_wait, std::uint32_t max_ms)
{
    sim_line_deliver(world);
    if (!world.rx.empty())
        return;
    const SimLine& line = world.line;
    std::uint64_t until = line.clock.now_ns() + std::uint64_t{max_ms} * 1'000'000;
    if (!line.in_flight.empty())
        until = std::min(until, line.in_flight.front().readable_ns);
    if (key_wait != -1)
        line.clock.wait_input_until_ns(key_wait, until);
    else
        line.clock.sleep_until_ns(until);
    sim_line_deliver(world);
}
