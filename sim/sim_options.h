#pragma once
// The command line of mensagens-sim: where the simulated board keeps its
// messages, whether the line runs at its real pace, and the faults to
// rehearse. The console itself takes no arguments.

#include <cstdint>
#include <string>
#include <vector>

struct SimWorld;

struct SimFault {
    int kind;            // an entry of the fault table in sim_options.cpp
    std::int64_t value;  // 0 for faults without a value
};

struct SimOptions {
    std::string board = "board";
    bool realtime = false;
    bool help = false;
    std::vector<SimFault> faults;
};

// 0, or non-zero with a one-line reason in error.
int parse_sim_options(int argc, const char* const* argv, SimOptions& options, std::string& error);
// Sets the faults up in a freshly reset world.
void apply_sim_faults(const SimOptions& options, SimWorld& world);
std::string sim_usage();
