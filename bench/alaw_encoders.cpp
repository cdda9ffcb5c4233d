#include "bench/alaw_encoders.h"

#include <array>

#include "upload/alaw.h"

namespace {

std::array<std::uint8_t, 65536> table;

}  // namespace

void runtime_table_build()
{
    for (int sample = -32768; sample <= 32767; ++sample)
        table[static_cast<std::uint16_t>(sample)] = linear_to_alaw(static_cast<std::int16_t>(sample));
}

std::uint8_t runtime_table_alaw(std::int16_t sample)
{
    return table[static_cast<std::uint16_t>(sample)];
}

std::uint8_t g191_alaw(std::int16_t sample)
{
    // 12-bit magnitude: sample >> 4, a negative sample complemented first.
    int magnitude = sample < 0 ? (~sample) >> 4 : sample >> 4;
    if (magnitude > 15) {
        int exponent = 1;
        while (magnitude > 16 + 15) {
            magnitude >>= 1;
            ++exponent;
        }
        magnitude -= 16;
        magnitude += exponent << 4;
    }
    if (sample >= 0)
        magnitude |= 0x80;
    return static_cast<std::uint8_t>(magnitude ^ 0x55);
}
