#pragma once
// The simulated board behind a pseudo-terminal, for the tty backend's tests
// and benchmark. A thread reads what the host writes on the pty's slave end,
// feeds it to the board model and writes the answers back, at once or at the
// pace of a real 115200 baud line. A fake sysfs and /dev tree makes the slave
// look like a tty of the ftdi_sio driver.

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/sim_board.h"

struct SimLinePace {
    bool paced = false;          // false: answers go back at once
    double byte_us = 86.8;       // one byte on the wire at 115200 8N1, each way
    double latency_us = 2000.0;  // the chip's latency timer, before answers reach the host
};

// The line as a timeline, in microseconds: when each byte the host sends
// reaches the board, and when each answer byte reaches the host.
struct SimLineModel {
    SimLinePace pace;
    double out_free_us = 0;   // the host-to-board direction is busy until then
    double back_free_us = 0;  // the board-to-host direction is busy until then
};

struct SimDelivery {
    double due_us;
    std::uint8_t byte;
};

// One byte that the host sent and that the line took at now_us: the board's
// answers are appended with the time they reach the host.
void sim_line_carry(SimLineModel& line, SimBoard& board, std::uint8_t byte, double now_us,
                    std::deque<SimDelivery>& deliveries);

struct SimTtyBoard {
    int master_fd = -1;
    int slave_fd = -1;  // kept open, so that the pty lives on between the host's opens
    std::string slave_path;
    int wake_fds[2] = {-1, -1};
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> reading{true};  // false: the board stops taking bytes off the line

    std::mutex mutex;  // guards what follows
    SimBoard board;
    SimLineModel line;
    std::vector<std::uint8_t> received;  // every byte the host sent
    bool answering = true;                // false: bytes are taken but not answered
};

// Opens the pty and starts the board. False when the pty cannot be had.
bool sim_tty_board_start(SimTtyBoard& board, SimLinePace pace = {});
// Stops the board and closes the pty (as an unplugged device, for the host).
void sim_tty_board_stop(SimTtyBoard& board);
// The board sends bytes of its own, at once.
void sim_tty_board_say(SimTtyBoard& board, const std::string& bytes);
std::vector<std::uint8_t> sim_tty_board_received(SimTtyBoard& board);
// Waits (at most max_ms) until the host has sent at least count bytes.
bool sim_tty_board_wait_received(SimTtyBoard& board, std::size_t count, int max_ms);

// A device as the fake sysfs shows it: the tty's name, the driver that serves
// it ("" for a tty without a device, such as a virtual console) and what its
// /dev node links to.
struct SimTtyEntry {
    std::string name;
    std::string driver;
    std::string node_target;
};

// Builds <root>/sys/class/tty/<name>/device/{driver,latency_timer} and
// <root>/dev/<name> for the entries. False on failure.
bool sim_tty_tree_create(const std::string& root, const std::vector<SimTtyEntry>& entries);
