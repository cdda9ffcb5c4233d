#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/terminal.h"
#include "sim/board_memory.h"
#include "sim/sim_options.h"
#include "sim/sim_world.h"

namespace {

// The tool's own complaints go to standard error, apart from the console.
void complain(const std::string& line)
{
    std::fputs(("mensagens-sim: " + line + "\n").c_str(), stderr);
}

}  // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    if (parse_sim_options(argc, argv, options, error) != 0) {
        complain(error);
        std::fputs(sim_usage().c_str(), stderr);
        return 2;
    }
    if (options.help) {
        term_print("%s", sim_usage().c_str());
        return 0;
    }
    sim_reset();
    SimWorld& world = sim_world();
    // A long session would pile up every call; nobody reads the log here.
    world.record_calls = false;
    apply_sim_faults(options, world);
    if (board_memory_open(world.board, options.board, complain) != 0)
        return 1;
    if (options.realtime)
        sim_line_start(world, sim_line_real_clock());
    return run_console();
}
