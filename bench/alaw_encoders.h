#pragma once
// The A-law encoders the benchmark sets against ours. Each is an out-of-line
// function in a translation unit of its own, as ours is, so that every one is
// called the way the WAV uploader calls ours: once per sample, not inlined.

#include <cstdint>

// A 65536-entry table filled at run time from our encoder.
void runtime_table_build();
std::uint8_t runtime_table_alaw(std::int16_t sample);
// The classic reduction of the ITU-T G.191 reference: one's complement of a
// negative sample, then the segment search by shifting.
std::uint8_t g191_alaw(std::int16_t sample);
// spandsp's encoder (spandsp/g711.h), behind a wrapper: its inline function
// has the same name as ours.
std::uint8_t spandsp_alaw(std::int16_t sample);
