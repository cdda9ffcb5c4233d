#include "upload/alaw.h"

#include <array>

namespace {

// G.711 A-law of the sign and magnitude of sample / 8. The quotient truncates
// toward zero, so -1 to -7 code as positive zero and a negative sample keeps
// its full magnitude; only -32768 needs the clamp.
constexpr std::uint8_t encode(std::int16_t sample)
{
    const int q = sample / 8;
    const bool negative = q < 0;
    int m = negative ? -q : q;
    if (m > 4095)
        m = 4095;
    int shifts = 0;
    do {
        m <<= 1;
        ++shifts;
    } while ((m & 0x1000) == 0 && shifts < 8);
    const int mantissa = (shifts == 8 ? m >> 9 : m >> 8) & 0x0F;
    int code = mantissa | ((8 - shifts) << 4);
    if (negative)
        code |= 0x80;
    return static_cast<std::uint8_t>((code ^ 0xD5) & 0xFF);
}

// Looking the byte up is several times faster than the shift loop, and a
// linear PCM message converts every sample.
constexpr std::array<std::uint8_t, 65536> alaw_table = [] {
    std::array<std::uint8_t, 65536> table{};
    for (int sample = -32768; sample <= 32767; ++sample)
        table[static_cast<std::uint16_t>(sample)] = encode(static_cast<std::int16_t>(sample));
    return table;
}();

}  // namespace

std::uint8_t linear_to_alaw(std::int16_t sample)
{
    return alaw_table[static_cast<std::uint16_t>(sample)];
}
