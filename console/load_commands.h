#pragma once
// The three load commands of the console's keys 1, 2 and 3. After a successful
// load each sends the closing byte 0x3C from the first byte of the exchange
// buffer, so that byte is what the console's end test sees next.

#include <cstdint>

#include "link/board_link.h"

void load_default_list(BoardLink& link, std::uint8_t* exchange);
void load_named_list(BoardLink& link, std::uint8_t* exchange);
void load_one_message(BoardLink& link, std::uint8_t* exchange);
