#pragma once

#include <cstddef>

// The exchange buffer: board output for echoing, the pressed key's code and the
// command bytes sent to the board all live at its start.
inline constexpr std::size_t EXCHANGE_SIZE = 104;

// The whole run; returns the exit status, 0 on every path.
int run_console();
void print_menu();
