#pragma once
// The USB link: finds the one board, sets up its serial line and offers the
// byte-level operations. Each operation is one driver call and hands back what
// the driver said, unchanged.

#include <cstdint>

#include "ftdi_driver.h"

struct BoardLink {
    DriverHandle handle = nullptr;
};

// 0 with the link open; non-zero after printing a message, nothing left open.
int open_board(BoardLink& link);
void close_board(BoardLink& link);

DriverStatus board_write(BoardLink& link, const void* bytes, std::uint32_t count);
DriverStatus board_read(BoardLink& link, void* buffer, std::uint32_t count, std::uint32_t* read);
DriverStatus board_queued(BoardLink& link, std::uint32_t* rx_queue);
void board_purge_rx(BoardLink& link);
void board_set_timeouts(BoardLink& link, std::uint32_t read_ms, std::uint32_t write_ms);

// Blocks the idle console until the board has sent something or the
// operator's input has (key_wait from term_wait_object; at most max_ms). The
// status is the driver's.
DriverStatus board_wait(BoardLink& link, std::intptr_t key_wait, std::uint32_t max_ms);
