#pragma once
// What every fuzz target shares: a scratch directory as the current
// directory, the terminal layer writing to /dev/null, and a freshly reset
// simulated board for each input.

#include <cstddef>
#include <cstdint>

#include "link/board_link.h"

// The board takes at most this much of one upload, so that a file claiming a
// huge payload costs a short exchange; the host cuts its upload to the answer.
inline constexpr std::uint32_t FUZZ_BOARD_CAPACITY = 16 * 1024;
// The largest payload buffer an uploader obtains; larger requests fail.
inline constexpr std::size_t FUZZ_HEAP_LIMIT = std::size_t{256} * 1024;

// Once per process: makes a scratch directory of its own (removed at exit)
// and points the terminal's input and output at /dev/null.
void fuzz_setup();
// The full name of a file in the scratch directory.
const char* fuzz_path(const char* name);
// Writes bytes to name in the scratch directory, replacing what was there.
void fuzz_write_file(const char* name, const std::uint8_t* data, std::size_t size);
// Relative names are looked up in the current directory: a target that hands
// out such names works inside the scratch directory for one input. The
// fuzzer itself reads and writes its files relative to where it was started.
void fuzz_enter_scratch();
void fuzz_leave_scratch();
// A healthy simulated board, nothing stored, opened on link.
void fuzz_open_board(BoardLink& link);
// The lowest free descriptor: it grows when an operation leaves a file open.
int fuzz_lowest_free_descriptor();
// Reports a broken promise of the code under test and aborts, so that the
// fuzzer keeps the input.
[[noreturn]] void fuzz_fail(const char* what, int value);
