#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "console/terminal.h"

namespace {

int in_fd = 0;
int out_fd = 1;
bool input_is_tty = false;
bool raw_active = false;
termios saved_settings{};
termios raw_settings{};
bool input_ended = false;
PauseFunction pause_function = nullptr;

// One buffer for keys and prompt lines, so that typed-ahead or piped bytes are
// read in order by both.
unsigned char input_buffer[512];
std::size_t input_start = 0;
std::size_t input_end = 0;

// Codes of a translated key sequence not yet handed out.
int pending_codes[2];
int pending_count = 0;

// How long a lone Esc waits for the rest of a cursor or function key.
constexpr int ESCAPE_WAIT_MS = 30;

void apply(const termios& settings)
{
    tcsetattr(in_fd, TCSANOW, &settings);
}

void on_signal(int signal_number)
{
    // Nothing is left to do if any of these fails: the signal ends the run.
    if (input_is_tty)
        (void)tcsetattr(in_fd, TCSANOW, &saved_settings);
    (void)std::signal(signal_number, SIG_DFL);
    (void)std::raise(signal_number);
}

bool buffered()
{
    return input_start < input_end;
}

// Reads more input into the buffer, waiting at most timeout_ms (-1: forever).
// False when nothing came: time-out, end of input or an error.
bool fill(int timeout_ms)
{
    if (input_ended)
        return false;
    if (timeout_ms >= 0) {
        pollfd entry{in_fd, POLLIN, 0};
        if (poll(&entry, 1, timeout_ms) <= 0)
            return false;
    }
    if (input_start == input_end)
        input_start = input_end = 0;
    if (input_end == sizeof input_buffer)
        return false;
    for (;;) {
        const ssize_t got = read(in_fd, input_buffer + input_end, sizeof input_buffer - input_end);
        if (got > 0) {
            input_end += static_cast<std::size_t>(got);
            return true;
        }
        if (got < 0 && errno == EINTR)
            continue;
        input_ended = true;
        return false;
    }
}

int next_byte(int timeout_ms)
{
    if (!buffered() && !fill(timeout_ms))
        return -1;
    return input_buffer[input_start++];
}

void write_all(const char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t done = write(out_fd, bytes, count);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
}

// Windows console codes for the keys a terminal sends as escape sequences.
struct KeyCode {
    int prefix;
    int code;
};

KeyCode letter_key(int final_byte)
{
    switch (final_byte) {
    case 'A': return {0xE0, 0x48};
    case 'B': return {0xE0, 0x50};
    case 'C': return {0xE0, 0x4D};
    case 'D': return {0xE0, 0x4B};
    case 'H': return {0xE0, 0x47};
    case 'F': return {0xE0, 0x4F};
    case 'P': return {0x00, 0x3B};
    case 'Q': return {0x00, 0x3C};
    case 'R': return {0x00, 0x3D};
    case 'S': return {0x00, 0x3E};
    default: return {0xE0, 0x00};
    }
}

KeyCode tilde_key(int number)
{
    switch (number) {
    case 1: case 7: return {0xE0, 0x47};
    case 2: return {0xE0, 0x52};
    case 3: return {0xE0, 0x53};
    case 4: case 8: return {0xE0, 0x4F};
    case 5: return {0xE0, 0x49};
    case 6: return {0xE0, 0x51};
    case 11: return {0x00, 0x3B};
    case 12: return {0x00, 0x3C};
    case 13: return {0x00, 0x3D};
    case 14: return {0x00, 0x3E};
    case 15: return {0x00, 0x3F};
    case 17: return {0x00, 0x40};
    case 18: return {0x00, 0x41};
    case 19: return {0x00, 0x42};
    case 20: return {0x00, 0x43};
    case 21: return {0x00, 0x44};
    case 23: return {0xE0, 0x85};
    case 24: return {0xE0, 0x86};
    default: return {0xE0, 0x00};
    }
}

// After Esc and '[' or 'O': reads the rest of the sequence and translates it.
KeyCode escape_sequence(int introducer)
{
    int number = -1;
    for (;;) {
        const int byte = next_byte(ESCAPE_WAIT_MS);
        if (byte < 0)
            return {0xE0, 0x00};
        if (byte >= '0' && byte <= '9') {
            if (number < 0)
                number = 0;
            if (number < 1000)
                number = number * 10 + (byte - '0');
            continue;
        }
        if (byte == ';') {
            // Modifiers follow; the key is the same key.
            if (number < 0)
                number = 1;
            number += 1000000;
            continue;
        }
        if (introducer == '[' && byte == '[') {
            // Linux console F1 to F5: Esc [ [ A..E.
            const int letter = next_byte(ESCAPE_WAIT_MS);
            if (letter >= 'A' && letter <= 'E')
                return {0x00, 0x3B + (letter - 'A')};
            return {0xE0, 0x00};
        }
        if (byte >= 0x40 && byte <= 0x7E) {
            number %= 1000000;
            if (byte == '~')
                return tilde_key(number);
            return letter_key(byte);
        }
        return {0xE0, 0x00};
    }
}

}  // namespace

void term_set_fds(int in, int out)
{
    in_fd = in;
    out_fd = out;
}

std::intptr_t term_wait_object()
{
    return in_fd;
}

void term_init()
{
    input_start = input_end = 0;
    pending_count = 0;
    input_ended = false;
    input_is_tty = isatty(in_fd) != 0;
    if (!input_is_tty || tcgetattr(in_fd, &saved_settings) != 0) {
        input_is_tty = false;
        return;
    }
    raw_settings = saved_settings;
    raw_settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw_settings.c_cc[VMIN] = 1;
    raw_settings.c_cc[VTIME] = 0;
    struct sigaction action{};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    apply(raw_settings);
    raw_active = true;
}

void term_shutdown()
{
    if (input_is_tty && raw_active) {
        apply(saved_settings);
        raw_active = false;
        (void)std::signal(SIGINT, SIG_DFL);
        (void)std::signal(SIGTERM, SIG_DFL);
        (void)std::signal(SIGHUP, SIG_DFL);
    }
}

bool term_key_waiting()
{
    if (pending_count > 0 || buffered() || input_ended)
        return true;
    pollfd entry{in_fd, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

int term_read_key()
{
    if (pending_count > 0) {
        const int code = pending_codes[0];
        pending_codes[0] = pending_codes[1];
        --pending_count;
        return code;
    }
    const int byte = next_byte(-1);
    if (byte != 0x1B || !input_is_tty)
        return byte;
    const int introducer = next_byte(ESCAPE_WAIT_MS);
    if (introducer != '[' && introducer != 'O') {
        if (introducer >= 0)
            --input_start;  // not a key sequence: the byte is the next key
        return 0x1B;
    }
    const KeyCode key = escape_sequence(introducer);
    pending_codes[0] = key.code;
    pending_count = 1;
    return key.prefix;
}

bool term_input_ended()
{
    return input_ended && !buffered() && pending_count == 0;
}

void term_write(const char* bytes, std::size_t count)
{
    write_all(bytes, count);
}

bool term_read_line(char* buffer, std::size_t size)
{
    if (size == 0)
        return false;
    if (input_is_tty && raw_active)
        apply(saved_settings);
    std::size_t count = 0;
    while (count + 1 < size) {
        const int byte = next_byte(-1);
        if (byte < 0)
            break;
        buffer[count++] = static_cast<char>(byte);
        if (byte == '\n')
            break;
    }
    buffer[count] = '\0';
    if (input_is_tty && raw_active)
        apply(raw_settings);
    return count > 0;
}

void term_pause(unsigned milliseconds)
{
    if (pause_function != nullptr) {
        pause_function(milliseconds);
        return;
    }
    timespec wait{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

void term_set_pause_function(PauseFunction pause)
{
    pause_function = pause;
}
