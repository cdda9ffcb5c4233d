#pragma once
// What the echo board (echo_board_driver.cpp) has taken so far.

#include <cstdint>

struct EchoBoardCount {
    int uploads = 0;                 // uploads taken whole
    std::uint64_t payload_bytes = 0; // their announced lengths, added up
};

EchoBoardCount echo_board_count();
