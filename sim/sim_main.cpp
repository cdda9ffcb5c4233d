#include "console/console.h"
#include "sim/sim_world.h"

int main()
{
    sim_reset();
    return run_console();
}
