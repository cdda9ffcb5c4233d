// How much time the host adds to an upload through the tty backend. The board
// behind the pseudo-terminal answers at the pace of a real line (115200 baud
// 8N1, 86.8 us a byte each way, answers held 2 ms by the chip's latency
// timer); the same exchange with a host that reacts at once takes the
// simulated line time. host_over_line = measured time / line time; the goal is
// below 1.03.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "link/board_link.h"
#include "link/tty_driver.h"
#include "sim/sim_tty_board.h"

namespace {

// One write, then the answer awaited and compared (none for the start marker).
struct Step {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> answer;
};

std::vector<Step> upload_steps(const std::vector<std::uint8_t>& payload, std::uint8_t number,
                               std::uint8_t format)
{
    const auto length = static_cast<std::uint32_t>(payload.size());
    const std::vector<std::uint8_t> announced = {
        static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
        static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    std::vector<Step> steps = {
        {{'>', '>', '>'}, {}}, {{number}, {number}}, {{format}, {format}}, {announced, announced}};
    for (std::size_t at = 0; at < payload.size(); at += 16) {
        const std::vector<std::uint8_t> block(payload.begin() + static_cast<std::ptrdiff_t>(at),
                                              payload.begin() + static_cast<std::ptrdiff_t>(std::min(at + 16, payload.size())));
        steps.push_back({block, block});
    }
    return steps;
}

// The exchange on the line model alone, with a host that answers at once.
double line_time_us(const std::vector<Step>& steps, const SimLinePace& pace)
{
    SimBoard board;
    SimLineModel line;
    line.pace = pace;
    std::deque<SimDelivery> deliveries;
    double now = 0;
    for (const Step& step : steps) {
        for (std::uint8_t byte : step.bytes)
            sim_line_carry(line, board, byte, now, deliveries);
        for (std::size_t i = 0; i < step.answer.size() && !deliveries.empty(); ++i) {
            now = deliveries.front().due_us;
            deliveries.pop_front();
        }
    }
    return now;
}

bool run_upload(BoardLink& link, const std::vector<Step>& steps)
{
    board_set_timeouts(link, 1000, 1000);
    board_purge_rx(link);
    std::uint8_t answer[16];
    for (const Step& step : steps) {
        if (board_write(link, step.bytes.data(), static_cast<std::uint32_t>(step.bytes.size())) != DRV_OK)
            return false;
        if (step.answer.empty())
            continue;
        std::uint32_t got = 0;
        const auto wanted = static_cast<std::uint32_t>(step.answer.size());
        if (board_read(link, answer, wanted, &got) != DRV_OK || got != wanted ||
            !std::equal(step.answer.begin(), step.answer.end(), answer))
            return false;
    }
    return true;
}

void tty_upload(benchmark::State& state)
{
    SimLinePace pace;
    pace.paced = true;
    SimTtyBoard board;
    char pattern[] = "/tmp/mensagens-bench-XXXXXX";
    if (!sim_tty_board_start(board, pace) || mkdtemp(pattern) == nullptr) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const std::string root = pattern;
    sim_tty_tree_create(root, {{"ttyUSB0", "ftdi_sio", board.slave_path}});
    tty_set_sysfs_root((root + "/sys").c_str());
    tty_set_dev_root((root + "/dev").c_str());

    BoardLink link;
    if (open_board(link) != 0) {
        state.SkipWithError("open_board failed");
    } else {
        std::vector<std::uint8_t> payload(static_cast<std::size_t>(state.range(0)));
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<std::uint8_t>(i * 31 + 7);
        const std::vector<Step> steps = upload_steps(payload, 12, 1);
        const double line_us = line_time_us(steps, pace);
        double host_us = 0;
        std::int64_t uploads = 0;
        for (auto _ : state) {
            const auto start = std::chrono::steady_clock::now();
            if (!run_upload(link, steps)) {
                state.SkipWithError("upload failed");
                break;
            }
            host_us += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
            ++uploads;
        }
        if (uploads > 0) {
            const double ratio = host_us / (line_us * static_cast<double>(uploads));
            state.counters["line_ms"] = line_us / 1000.0;
            state.counters["host_over_line"] = ratio;
            std::printf("upload of %lld bytes: line %.1f ms, measured %.1f ms, host/line %.4f (goal < 1.03)\n",
                        static_cast<long long>(state.range(0)), line_us / 1000.0,
                        host_us / 1000.0 / static_cast<double>(uploads), ratio);
        }
        close_board(link);
    }
    sim_tty_board_stop(board);
    tty_set_sysfs_root(nullptr);
    tty_set_dev_root(nullptr);
    std::filesystem::remove_all(root);
}

BENCHMARK(tty_upload)->Arg(4096)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
