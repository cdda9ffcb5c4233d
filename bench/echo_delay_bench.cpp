// How long a byte from the board takes to reach the operator's screen: the
// operator console (run_console, the Linux tty backend) runs against the
// simulated board behind a pseudo-terminal, idle between bytes. Each sample
// starts when the board writes one byte into the pseudo-terminal and ends
// when this program reads that byte from the console's output pipe, so it
// counts the console's wake-up, read and echo, and this program's own wake-up
// as well. The USB chip's latency timer lies before the tty and is not ours;
// the goal is below 1 ms on average.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "console/console.h"
#include "console/terminal.h"
#include "link/tty_driver.h"
#include "sim/sim_tty_board.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reads the output until text has shown, at most timeout_ms; false otherwise.
bool read_until(int fd, const std::string& text, std::string& seen, int timeout_ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (seen.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0)
            continue;
        char bytes[512];
        const ssize_t got = read(fd, bytes, sizeof bytes);
        if (got <= 0)
            return false;
        seen.append(bytes, static_cast<std::size_t>(got));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const long samples = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 500;
    SimTtyBoard board;
    char pattern[] = "/tmp/mensagens-echo-XXXXXX";
    if (!sim_tty_board_start(board) || mkdtemp(pattern) == nullptr) {
        (void)std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    const std::string root = pattern;
    sim_tty_tree_create(root, {{"ttyUSB0", "ftdi_sio", board.slave_path}});
    tty_set_sysfs_root((root + "/sys").c_str());
    tty_set_dev_root((root + "/dev").c_str());

    int keys[2];
    int out[2];
    if (pipe(keys) != 0 || pipe(out) != 0)
        return 1;
    term_set_fds(keys[0], out[1]);
    std::thread console([] { run_console(); });

    // The menu, then the board's answer to the start-up bytes (its line end
    // shows as a newline).
    std::string seen;
    bool ready = read_until(out[0], "Esc: Sair\n", seen, 5000) && read_until(out[0], "liberada\n", seen, 5000);
    std::vector<double> delays_us;
    for (long i = 0; ready && i < samples; ++i) {
        // Long enough for the console to settle into its idle wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(2 + i % 5));
        seen.clear();
        const auto start = Clock::now();
        sim_tty_board_say(board, "k");
        if (!read_until(out[0], "k", seen, 2000)) {
            ready = false;
            break;
        }
        delays_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }

    const char esc = 0x1B;
    if (write(keys[1], &esc, 1) != 1)
        return 1;
    console.join();
    sim_tty_board_stop(board);
    tty_set_sysfs_root(nullptr);
    tty_set_dev_root(nullptr);
    std::filesystem::remove_all(root);
    for (int fd : {keys[0], keys[1], out[0], out[1]})
        close(fd);

    if (!ready || delays_us.empty()) {
        std::printf("board byte to screen: FAILED (no echo)\n");
        return 1;
    }
    std::sort(delays_us.begin(), delays_us.end());
    const double mean = std::accumulate(delays_us.begin(), delays_us.end(), 0.0) / static_cast<double>(delays_us.size());
    const auto at = [&](double share) {
        return delays_us[std::min(delays_us.size() - 1, static_cast<std::size_t>(share * static_cast<double>(delays_us.size())))];
    };
    std::printf("board byte to screen, %zu bytes, idle console: mean %.0f us, median %.0f us, 99%% %.0f us, "
                "max %.0f us (goal: mean below 1000 us)\n",
                delays_us.size(), mean, at(0.5), at(0.99), delays_us.back());
    return 0;
}
