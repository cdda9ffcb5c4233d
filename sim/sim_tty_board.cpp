#include "sim/sim_tty_board.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

double now_us()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// Gives up only when the board is stopped, so that a host that never reads
// cannot keep the thread from ending.
void write_all(SimTtyBoard& board, const std::uint8_t* bytes, std::size_t count)
{
    const int fd = board.master_fd;
    while (count > 0 && !board.stopping.load()) {
        const ssize_t done = write(fd, bytes, count);
        if (done < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                pollfd entry{fd, POLLOUT, 0};
                poll(&entry, 1, 10);
                continue;
            }
            return;
        }
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
}

// Takes what the host has written; answers at once, or queues them on the
// line's timeline when paced.
void take_bytes(SimTtyBoard& board, std::deque<SimDelivery>& pending)
{
    std::uint8_t chunk[4096];
    const ssize_t got = read(board.master_fd, chunk, sizeof chunk);
    if (got <= 0)
        return;
    const double now = now_us();
    std::vector<std::uint8_t> answer;
    std::lock_guard<std::mutex> lock(board.mutex);
    for (ssize_t i = 0; i < got; ++i) {
        board.received.push_back(chunk[i]);
        if (!board.answering)
            continue;
        if (board.line.pace.paced)
            sim_line_carry(board.line, board.board, chunk[i], now, pending);
        else
            sim_board_receive(board.board, chunk[i], answer);
    }
    write_all(board, answer.data(), answer.size());
}

void deliver_due(SimTtyBoard& board, std::deque<SimDelivery>& pending)
{
    const double now = now_us();
    std::vector<std::uint8_t> due;
    while (!pending.empty() && pending.front().due_us <= now) {
        due.push_back(pending.front().byte);
        pending.pop_front();
    }
    if (!due.empty()) {
        std::lock_guard<std::mutex> lock(board.mutex);
        write_all(board, due.data(), due.size());
    }
}

void run_board(SimTtyBoard& board)
{
    // Wake-ups on time matter more here than the power that timer slack saves.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::deque<SimDelivery> pending;
    while (!board.stopping.load()) {
        timespec wait{};
        timespec* limit = nullptr;
        if (!pending.empty()) {
            const double left = std::max(0.0, pending.front().due_us - now_us());
            wait.tv_sec = static_cast<time_t>(left / 1e6);
            wait.tv_nsec = static_cast<long>((left - static_cast<double>(wait.tv_sec) * 1e6) * 1e3);
            limit = &wait;
        } else if (!board.reading.load()) {
            wait.tv_nsec = 5000000L;
            limit = &wait;
        }
        pollfd entries[2] = {{board.wake_fds[0], POLLIN, 0},
                             {board.master_fd, static_cast<short>(board.reading.load() ? POLLIN : 0), 0}};
        ppoll(entries, 2, limit, nullptr);
        if ((entries[0].revents & POLLIN) != 0) {
            char token = 0;
            if (read(board.wake_fds[0], &token, 1) < 0)
                continue;
        }
        if ((entries[1].revents & POLLIN) != 0)
            take_bytes(board, pending);
        deliver_due(board, pending);
    }
}

}  // namespace

void sim_line_carry(SimLineModel& line, SimBoard& board, std::uint8_t byte, double now_us,
                    std::deque<SimDelivery>& deliveries)
{
    const double arrival = std::max(line.out_free_us, now_us) + line.pace.byte_us;
    line.out_free_us = arrival;
    std::vector<std::uint8_t> answer;
    sim_board_receive(board, byte, answer);
    for (std::uint8_t answered : answer) {
        line.back_free_us = std::max(line.back_free_us, arrival) + line.pace.byte_us;
        deliveries.push_back(SimDelivery{line.back_free_us + line.pace.latency_us, answered});
    }
}

bool sim_tty_board_start(SimTtyBoard& board, SimLinePace pace)
{
    board.master_fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (board.master_fd < 0)
        return false;
    const char* name = nullptr;
    if (grantpt(board.master_fd) != 0 || unlockpt(board.master_fd) != 0 ||
        (name = ptsname(board.master_fd)) == nullptr) {
        close(board.master_fd);
        board.master_fd = -1;
        return false;
    }
    board.slave_path = name;
    board.slave_fd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (board.slave_fd < 0 || pipe2(board.wake_fds, O_CLOEXEC) != 0) {
        sim_tty_board_stop(board);
        return false;
    }
    fcntl(board.master_fd, F_SETFL, fcntl(board.master_fd, F_GETFL) | O_NONBLOCK);
    board.line = SimLineModel{};
    board.line.pace = pace;
    board.stopping.store(false);
    board.thread = std::thread(run_board, std::ref(board));
    return true;
}

void sim_tty_board_stop(SimTtyBoard& board)
{
    if (board.thread.joinable()) {
        board.stopping.store(true);
        const char token = 's';
        if (write(board.wake_fds[1], &token, 1) != 1)
            std::abort();
        board.thread.join();
    }
    for (int* fd : {&board.master_fd, &board.slave_fd, &board.wake_fds[0], &board.wake_fds[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void sim_tty_board_say(SimTtyBoard& board, const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(board.mutex);
    write_all(board, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::uint8_t> sim_tty_board_received(SimTtyBoard& board)
{
    std::lock_guard<std::mutex> lock(board.mutex);
    return board.received;
}

bool sim_tty_board_wait_received(SimTtyBoard& board, std::size_t count, int max_ms)
{
    for (int waited = 0; waited <= max_ms; waited += 2) {
        {
            std::lock_guard<std::mutex> lock(board.mutex);
            if (board.received.size() >= count)
                return true;
        }
        usleep(2000);
    }
    return false;
}

bool sim_tty_tree_create(const std::string& root, const std::vector<SimTtyEntry>& entries)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path dev = fs::path(root) / "dev";
    const fs::path class_dir = fs::path(root) / "sys/class/tty";
    const fs::path drivers = fs::path(root) / "sys/bus/usb-serial/drivers";
    fs::create_directories(dev, error);
    fs::create_directories(class_dir, error);
    for (const SimTtyEntry& entry : entries) {
        const fs::path tty = class_dir / entry.name;
        fs::create_directories(tty, error);
        if (!entry.driver.empty()) {
            fs::create_directories(tty / "device", error);
            fs::create_directories(drivers / entry.driver, error);
            fs::create_directory_symlink(drivers / entry.driver, tty / "device/driver", error);
            if (error)
                return false;
            std::ofstream(tty / "device/latency_timer") << "16\n";
        }
        fs::create_symlink(entry.node_target, dev / entry.name, error);
        if (error)
            return false;
    }
    return fs::is_directory(class_dir);
}
