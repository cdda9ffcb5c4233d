#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "upload/alaw.h"

namespace {

// G.711 A-law coding of a sign and a 12-bit magnitude, by the segment ends.
std::uint8_t g711_alaw(bool negative, int magnitude)
{
    static const int segment_end[8] = {31, 63, 127, 255, 511, 1023, 2047, 4095};
    int segment = 0;
    while (magnitude > segment_end[segment])
        ++segment;
    const int mantissa = (segment < 2 ? magnitude >> 1 : magnitude >> segment) & 0x0F;
    const int code = (segment << 4) | mantissa | (negative ? 0x00 : 0x80);
    return static_cast<std::uint8_t>(code ^ 0x55);
}

// The board's reduction: sign and magnitude of the quotient truncated toward
// zero, the magnitude clamped to 12 bits.
std::uint8_t by_quotient(int sample)
{
    const int q = sample / 8;
    int magnitude = q < 0 ? -q : q;
    if (magnitude > 4095)
        magnitude = 4095;
    return g711_alaw(q < 0, magnitude);
}

// The ITU-T G.191 reference encoder's reduction: a negative sample is always
// negative and its magnitude is the one's complement shifted down.
std::uint8_t g191_alaw(std::int16_t sample)
{
    int ix = (sample < 0 ? ~sample : sample) >> 4;
    if (ix > 15) {
        int exponent = 1;
        while (ix > 16 + 15) {
            ix >>= 1;
            ++exponent;
        }
        ix -= 16;
        ix += exponent << 4;
    }
    if (sample >= 0)
        ix |= 0x80;
    return static_cast<std::uint8_t>(ix ^ 0x55);
}

// Lower edges of the G.711 intervals above zero, in units of 8 samples.
bool is_interval_edge(int t)
{
    if (t < 2 || t > 4095)
        return false;
    int step = 2;
    for (int top = 64; top <= t; top *= 2)
        step *= 2;
    return t % step == 0;
}

TEST(LinearToAlaw, IsG711OfTheQuotientForEveryInput)
{
    for (int sample = -32768; sample <= 32767; ++sample)
        ASSERT_EQ(linear_to_alaw(static_cast<std::int16_t>(sample)), by_quotient(sample))
            << "sample " << sample;
}

TEST(LinearToAlaw, DiffersFromTheG191ReferenceExactlyAtTheNegativeEdges)
{
    std::set<int> expected;
    for (int sample = -7; sample <= -1; ++sample)
        expected.insert(sample);
    for (int t = 2; t <= 4095; ++t)
        if (is_interval_edge(t))
            expected.insert(-8 * t);
    ASSERT_EQ(expected.size(), 134u);
    EXPECT_EQ(*expected.begin(), -31744);
    EXPECT_TRUE(expected.count(-16) && expected.count(-32) && expected.count(-4096));

    std::set<int> differing;
    for (int sample = -32768; sample <= 32767; ++sample) {
        const auto s = static_cast<std::int16_t>(sample);
        if (linear_to_alaw(s) != g191_alaw(s))
            differing.insert(sample);
    }
    EXPECT_EQ(differing, expected);
}

TEST(LinearToAlaw, DifferingInputsGiveTheNamedBytes)
{
    for (int sample = -7; sample <= -1; ++sample) {
        EXPECT_EQ(linear_to_alaw(static_cast<std::int16_t>(sample)), 0xD5);
        EXPECT_EQ(g191_alaw(static_cast<std::int16_t>(sample)), 0x55);
    }
    struct Edge {
        std::int16_t sample;
        std::uint8_t ours;
        std::uint8_t reference;
    };
    const Edge edges[] = {{-16, 0x54, 0x55}, {-32, 0x57, 0x54}, {-4096, 0x05, 0x1A}};
    for (const Edge& e : edges) {
        EXPECT_EQ(linear_to_alaw(e.sample), e.ours) << e.sample;
        EXPECT_EQ(g191_alaw(e.sample), e.reference) << e.sample;
    }
}

TEST(LinearToAlaw, WorkedExamples)
{
    struct Example {
        std::int16_t sample;
        std::uint8_t code;
    };
    const Example examples[] = {
        {0, 0xD5},      {1, 0xD5},      {-1, 0xD5},     {8, 0xD5},       {-8, 0x55},
        {-16, 0x54},    {100, 0xD3},    {-100, 0x53},   {1000, 0xFA},    {-1000, 0x7A},
        {4096, 0x85},   {-4096, 0x05},  {12345, 0xBD},  {32767, 0xAA},   {-32767, 0x2A},
        {-32768, 0x2A}, {16, 0xD4},
    };
    for (const Example& e : examples)
        EXPECT_EQ(linear_to_alaw(e.sample), e.code) << "sample " << e.sample;
}

TEST(LinearToAlaw, SmallSamplesAndSymmetry)
{
    for (int sample = -7; sample <= 15; ++sample)
        EXPECT_EQ(linear_to_alaw(static_cast<std::int16_t>(sample)), 0xD5) << sample;
    for (int sample = -15; sample <= -8; ++sample)
        EXPECT_EQ(linear_to_alaw(static_cast<std::int16_t>(sample)), 0x55) << sample;
    for (int sample = 8; sample <= 32767; ++sample) {
        const std::uint8_t positive = linear_to_alaw(static_cast<std::int16_t>(sample));
        const std::uint8_t negative = linear_to_alaw(static_cast<std::int16_t>(-sample));
        ASSERT_EQ(positive ^ negative, 0x80) << "sample " << sample;
    }
}

}  // namespace
