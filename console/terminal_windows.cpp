#include <cstdarg>
#include <cstdio>
#include <io.h>
#include <vector>
#include <windows.h>

#include "console/terminal.h"
#include "console/windows_console_keys.h"

namespace {

int in_fd = 0;
int out_fd = 1;
HANDLE input = INVALID_HANDLE_VALUE;
HANDLE output = INVALID_HANDLE_VALUE;  // the one whose console mode term_init took
bool input_is_console = false;
bool output_is_console = false;
DWORD saved_input_mode = 0;
DWORD saved_output_mode = 0;
bool modes_taken = false;
bool input_ended = false;
PauseFunction pause_function = nullptr;

// Console modes the layer clears while it runs: terminal sequences instead of
// key events on input, and a "\n" that would not return to the line's start
// on output.
constexpr DWORD VIRTUAL_TERMINAL_INPUT = 0x0200;
constexpr DWORD NO_AUTO_RETURN = 0x0008;

// One buffer for prompt lines and piped keys, so that typed-ahead or piped
// bytes are read in order by both.
unsigned char input_buffer[512];
std::size_t input_start = 0;
std::size_t input_end = 0;

// The console key being handed out: its codes, the next one, and how many
// more times the key repeats.
int key_codes[2];
int key_length = 0;
int key_next = 0;
unsigned key_repeats = 0;

HANDLE handle_of(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

bool key_pending()
{
    return key_next < key_length || key_repeats > 0;
}

bool buffered()
{
    return input_start < input_end;
}

DWORD polling_mode()
{
    return saved_input_mode & ~VIRTUAL_TERMINAL_INPUT;
}

DWORD line_mode()
{
    return polling_mode() | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT;
}

void restore_modes()
{
    if (input_is_console)
        SetConsoleMode(input, saved_input_mode);
    if (output_is_console)
        SetConsoleMode(output, saved_output_mode);
}

BOOL WINAPI on_control(DWORD)
{
    restore_modes();
    return FALSE;  // the default handler ends the process
}

// Reads more input into the buffer: a line from the console, or what a pipe or
// file has. False when nothing came: end of input or an error.
bool fill()
{
    if (input_ended)
        return false;
    if (input_start == input_end)
        input_start = input_end = 0;
    if (input_end == sizeof input_buffer)
        return false;
    DWORD got = 0;
    if (ReadFile(input, input_buffer + input_end, static_cast<DWORD>(sizeof input_buffer - input_end),
                 &got, nullptr) &&
        got > 0) {
        input_end += got;
        return true;
    }
    input_ended = true;
    return false;
}

int next_byte()
{
    if (!buffered() && !fill())
        return -1;
    return input_buffer[input_start++];
}

// Looks the handle up each time, so that printing works before term_init
// (a program's usage text) as it does on POSIX.
void write_all(const char* bytes, std::size_t count)
{
    const HANDLE to = handle_of(out_fd);
    while (count > 0) {
        DWORD done = 0;
        if (!WriteFile(to, bytes, static_cast<DWORD>(count), &done, nullptr) || done == 0)
            return;
        bytes += done;
        count -= done;
    }
}

// True when the first console event yields a key; events that yield none
// (releases, Shift alone, the mouse, focus) are taken off the console, so that
// its input handle is signalled only when there is more to look at.
bool console_key_waiting()
{
    for (;;) {
        INPUT_RECORD record;
        DWORD count = 0;
        if (!PeekConsoleInputA(input, &record, 1, &count))
            return true;  // the read finds out what went wrong
        if (count == 0)
            return false;
        int codes[2];
        if (record.EventType == KEY_EVENT && windows_key_codes(record.Event.KeyEvent, codes) > 0)
            return true;
        ReadConsoleInputA(input, &record, 1, &count);
    }
}

// Waits for the next console key and makes it the one handed out.
bool read_console_key()
{
    for (;;) {
        INPUT_RECORD record;
        DWORD count = 0;
        if (!ReadConsoleInputA(input, &record, 1, &count)) {
            input_ended = true;
            return false;
        }
        if (count == 0 || record.EventType != KEY_EVENT)
            continue;
        key_length = windows_key_codes(record.Event.KeyEvent, key_codes);
        if (key_length == 0)
            continue;
        key_next = 0;
        const WORD repeat = record.Event.KeyEvent.wRepeatCount;
        key_repeats = repeat > 1 ? repeat - 1u : 0u;
        return true;
    }
}

int next_key_code()
{
    if (key_next == key_length) {
        key_next = 0;
        --key_repeats;
    }
    return key_codes[key_next++];
}

bool pipe_has_input()
{
    DWORD available = 0;
    if (PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr))
        return available > 0;
    // A file, a pipe whose writer has gone, or one that cannot be looked
    // into: a read returns the input or its end.
    return true;
}

}  // namespace

void term_set_fds(int in, int out)
{
    in_fd = in;
    out_fd = out;
}

std::intptr_t term_wait_object()
{
    return reinterpret_cast<std::intptr_t>(input);
}

void term_init()
{
    input_start = input_end = 0;
    key_length = key_next = 0;
    key_repeats = 0;
    input_ended = false;
    input = handle_of(in_fd);
    output = handle_of(out_fd);
    input_is_console = GetConsoleMode(input, &saved_input_mode) != 0;
    output_is_console = GetConsoleMode(output, &saved_output_mode) != 0;
    if (!input_is_console && !output_is_console)
        return;
    SetConsoleCtrlHandler(on_control, TRUE);
    if (input_is_console)
        SetConsoleMode(input, polling_mode());
    if (output_is_console)
        SetConsoleMode(output, (saved_output_mode & ~NO_AUTO_RETURN) | ENABLE_PROCESSED_OUTPUT);
    modes_taken = true;
}

void term_shutdown()
{
    if (modes_taken) {
        restore_modes();
        SetConsoleCtrlHandler(on_control, FALSE);
        modes_taken = false;
    }
}

bool term_key_waiting()
{
    if (key_pending() || buffered() || input_ended)
        return true;
    return input_is_console ? console_key_waiting() : pipe_has_input();
}

int term_read_key()
{
    if (key_pending())
        return next_key_code();
    if (buffered() || !input_is_console)
        return next_byte();
    if (input_ended || !read_console_key())
        return -1;
    return next_key_code();
}

bool term_input_ended()
{
    return input_ended && !buffered() && !key_pending();
}

void term_write(const char* bytes, std::size_t count)
{
    write_all(bytes, count);
}

// Lines end in "\n" as on POSIX: the console's "\r\n", and that of a piped
// text file, lose the "\r".
bool term_read_line(char* buffer, std::size_t size)
{
    if (size == 0)
        return false;
    if (input_is_console)
        SetConsoleMode(input, line_mode());
    std::size_t count = 0;
    while (count + 1 < size) {
        const int next = next_byte();
        if (next < 0)
            break;
        if (next == '\r' && (buffered() || fill()) && input_buffer[input_start] == '\n')
            continue;
        buffer[count++] = static_cast<char>(next);
        if (next == '\n')
            break;
    }
    buffer[count] = '\0';
    if (input_is_console)
        SetConsoleMode(input, polling_mode());
    return count > 0;
}

void term_pause(unsigned milliseconds)
{
    if (pause_function != nullptr) {
        pause_function(milliseconds);
        return;
    }
    Sleep(milliseconds);
}

void term_set_pause_function(PauseFunction pause)
{
    pause_function = pause;
}
