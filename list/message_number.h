#pragma once

#include <cstddef>

// Reads a leading decimal integer from at most `length` characters of text, as
// a "%d" conversion would: white space skipped, an optional sign, then digits
// up to the first non-digit. False, with `number` untouched, when the text
// holds no such integer. Values beyond the range of int are clamped to it.
bool read_message_number(const char* text, std::size_t length, int& number);
