#pragma once
// The simulated driver backend's world: the attached devices, the board at
// index 0, the virtual clock, injected driver failures and a record of every
// driver call. Tests and mensagens-sim configure it before the run.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/ftdi_driver.h"
#include "sim/sim_board.h"
#include "sim/sim_line.h"

enum class SimOp {
    Open,
    Close,
    Read,
    Write,
    GetStatus,
    Purge,
    SetTimeouts,
    SetBaudRate,
    SetDataCharacteristics,
    SetLatencyTimer,
    WaitReadable,
};
inline constexpr int SIM_OP_COUNT = 11;

const char* sim_op_name(SimOp op);

struct SimCall {
    SimOp op;
    std::vector<std::int64_t> args;   // the call's scalar arguments, in order
    std::vector<std::uint8_t> bytes;  // bytes written, or bytes delivered by a read
    DriverStatus status = DRV_OK;
};

// A driver call that fails: after `after` successful calls of that kind, the
// next `times` calls (forever when times < 0) return `status`. For Open,
// `index` limits the failure to one device index (-1: any).
struct SimFailure {
    bool active = false;
    std::uint32_t after = 0;
    int times = -1;
    DriverStatus status = DRV_IO_ERROR;
    int index = -1;
    std::uint32_t calls = 0;  // calls of this kind so far
};

struct SimWorld {
    int devices = 1;
    SimBoard board;
    SimFailure failures[SIM_OP_COUNT];
    std::vector<SimCall> calls;
    bool record_calls = true;

    std::uint64_t now_us = 0;  // the virtual clock
    std::deque<std::uint8_t> rx;  // bytes the board has sent, not yet read
    std::uint32_t read_timeout_ms = 0;   // 0: the driver's default, no time-out
    std::uint32_t write_timeout_ms = 0;
    int open_handles = 0;
    // The line at its real pace, when line.realtime (mensagens-sim --realtime).
    SimLine line;
};

SimWorld& sim_world();
// Back to one attached board with nothing stored, no faults, no calls.
void sim_reset();
void sim_fail(SimOp op, DriverStatus status, std::uint32_t after = 0, int times = -1,
              int index = -1);
// Queues bytes as if the board had sent them.
void sim_board_says(const std::string& bytes);
// The recorded calls of one kind.
std::vector<SimCall> sim_calls(SimOp op);
// All bytes the host wrote, in order.
std::vector<std::uint8_t> sim_written();
