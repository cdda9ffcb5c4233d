#pragma once
// The terminal layer: everything the console, the load commands and the
// uploaders do with the operator's terminal. Output never goes through stdio
// buffers: formatted messages and direct characters are written to the output
// descriptor at once, so they keep their order in a terminal and in a file.

#include <cstddef>
#include <cstdint>

// Takes the terminal: raw mode without echo while the console polls, with the
// original settings restored by term_shutdown and on SIGINT, SIGTERM, SIGHUP
// (on Windows: keys read as console key events, the console's modes restored
// by term_shutdown and on Ctrl+C, Ctrl+Break or closing the console). When the
// input is not a terminal, keys are read byte by byte from it.
void term_init();
void term_shutdown();

// Descriptors used by the layer (C runtime descriptors on Windows); tests
// point them at pipes or files before term_init. Defaults: 0 and 1.
void term_set_fds(int in_fd, int out_fd);
// What the idle console waits on for the operator's input: the input
// descriptor on POSIX, the input handle on Windows; -1 for none.
std::intptr_t term_wait_object();

// True when a key code (or the end of input) is waiting; never blocks.
bool term_key_waiting();
// One key code 0..255 without echo; cursor and function keys come as a prefix
// code (0xE0, or 0x00 for F1..F10) and then a second code. -1 at end of input.
int term_read_key();
// True once the input has ended.
bool term_input_ended();

// Formatted message to the output, written at once.
void term_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One character straight to the console.
void term_put_char(char c);
// Bytes straight to the console, as they are; the platform's part of the two above.
void term_write(const char* bytes, std::size_t count);

// One line with the terminal's own echo and editing, like fgets: at most
// size - 1 characters, the newline kept when it fits; the rest of a longer
// line stays for the next read. False at end of input or on an error.
bool term_read_line(char* buffer, std::size_t size);

void term_pause(unsigned milliseconds);
// Tests replace the pause so that no test sleeps; nullptr restores it.
using PauseFunction = void (*)(unsigned milliseconds);
void term_set_pause_function(PauseFunction pause);
