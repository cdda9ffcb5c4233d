#include "console/console.h"

int main()
{
    return run_console();
}
