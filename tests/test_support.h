#pragma once
// Helpers shared by the tests: the terminal layer pointed at a pipe for keys
// and at a file for output, and pauses recorded instead of slept.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct CapturedRun {
    std::string output;
    int result = -1;
};

// Runs body with `input` as the terminal's (piped) input and returns what it
// printed and returned. Pauses are recorded in recorded_pauses().
CapturedRun run_with_terminal(const std::string& input, const std::function<int()>& body);
// The whole console run with piped keys.
CapturedRun run_console_with(const std::string& input);
std::vector<unsigned>& recorded_pauses();

// Bytes as text, for readable comparisons.
std::string as_text(const std::vector<unsigned char>& bytes);
// A board line as the console shows it: carriage return printed as a newline.
std::string shown(const std::string& board_line);
// Banner, menu and the simulated board's answer to the start-up bytes.
std::string start_up();
// The menu exactly as printed.
extern const char* const MENU_TEXT;
extern const char* const BANNER_TEXT;

// A scratch directory of its own, removed at the end of the test; the current
// directory is moved there while it lives.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path;
    std::string previous;
    void write(const std::string& name, const std::string& bytes) const;
    void write(const std::string& name, const std::vector<unsigned char>& bytes) const;
};

// How many files the process has open, to show that an operation closed what
// it opened. Defined per platform.
std::size_t open_descriptors();
