#pragma once

#include <cstdint>

// One signed 16-bit linear sample to the A-law byte the board stores.
std::uint8_t linear_to_alaw(std::int16_t sample);
