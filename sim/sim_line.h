#pragma once
// The serial line between the host and the simulated board at its real pace,
// for mensagens-sim --realtime. Without it the simulated line is instant and
// only read time-outs move the virtual clock.
//
// The timing model, in one place (sim_line.cpp follows it, and so does
// bench/realtime_upload.py):
// - 115200 baud, 8N1: every byte is 10 bits on the wire, SIM_BYTE_NS.
// - Host to board: a write starts when it is called (or when the host's line
//   is free, if later); its byte i has fully arrived at the board (i + 1) byte
//   times later, and the write returns when its last byte has arrived.
// - The board answers at once: an answer byte starts to leave when the byte
//   that caused it has arrived and the board's own line is free, and has left
//   one byte time later.
// - Board to host: the USB chip hands what it has gathered to the host each
//   time its 2 ms latency timer runs out, on a timer that ticks every 2 ms
//   from the start of the line. So a byte becomes readable at the first tick
//   at or after the moment its last bit has left the board. (A full 62-byte
//   USB packet would leave earlier; no answer of the board is that long.)
// - Reads wait for bytes not yet readable, at most the read time-out in force;
//   without a time-out they wait for every byte still on its way and no more,
//   since the board speaks only when spoken to.

#include <cstdint>
#include <deque>

// 10 bits at 115200 baud: 86.806 microseconds, in nanoseconds.
inline constexpr std::uint64_t SIM_BYTE_NS = 86'806;
inline constexpr std::uint64_t SIM_LATENCY_NS = 2'000'000;

// The clock the line runs on: nanoseconds since the line started. Tests give
// it a clock of their own whose sleeps only move it on.
struct SimLineClock {
    std::uint64_t (*now_ns)() = nullptr;
    void (*sleep_until_ns)(std::uint64_t when) = nullptr;
    // Waits until the operator's input (key_wait from term_wait_object) has
    // something or the time comes.
    void (*wait_input_until_ns)(std::intptr_t key_wait, std::uint64_t when) = nullptr;
};

// One byte of the board's answer on its way to the host.
struct SimInFlight {
    std::uint8_t byte;
    std::uint64_t left_ns;      // its last bit has left the board
    std::uint64_t readable_ns;  // the host can read it
};

struct SimLine {
    bool realtime = false;
    SimLineClock clock;
    std::uint64_t host_free_ns = 0;   // the host's direction is free from then
    std::uint64_t board_free_ns = 0;  // the board's direction is free from then
    std::deque<SimInFlight> in_flight;
};

struct SimWorld;

// When a byte whose last bit left the board at left_ns becomes readable.
std::uint64_t sim_line_readable_at(std::uint64_t left_ns);

// The real clock, started now (the platform's monotonic clock).
SimLineClock sim_line_real_clock();

// Puts the world's line on the given clock, starting at its present time.
void sim_line_start(SimWorld& world, const SimLineClock& clock);

// The driver's operations on a line at the real pace. Each first moves the
// bytes that have become readable into world.rx.
void sim_line_deliver(SimWorld& world);
// Hands the bytes to the board as they arrive; returns when the last has.
void sim_line_write(SimWorld& world, const std::uint8_t* bytes, std::uint32_t count);
// Takes up to count bytes, waiting as a driver read does; returns how many.
std::uint32_t sim_line_read(SimWorld& world, std::uint8_t* buffer, std::uint32_t count);
// Drops what the host could read and what waits in the USB chip; bytes still
// on the wire arrive later.
void sim_line_purge(SimWorld& world);
// Waits for the next byte to become readable, key_wait to have input (when
// not -1), or max_ms, whichever comes first.
void sim_line_wait(SimWorld& world, std::intptr_t key_wait, std::uint32_t max_ms);
