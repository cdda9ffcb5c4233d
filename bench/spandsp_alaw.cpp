// spandsp's g711.h defines an inline linear_to_alaw of its own; this file
// includes nothing of ours, so the two never meet.
#include <cstdint>
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>

std::uint8_t spandsp_alaw(std::int16_t sample);

std::uint8_t spandsp_alaw(std::int16_t sample)
{
    return linear_to_alaw(sample);
}
