#include "console/load_commands.h"

#include "console/console.h"

// Until the loaders exist the load keys show the menu like any other key.
void load_default_list(BoardLink&, std::uint8_t*)
{
    print_menu();
}

void load_named_list(BoardLink&, std::uint8_t*)
{
    print_menu();
}

void load_one_message(BoardLink&, std::uint8_t*)
{
    print_menu();
}
