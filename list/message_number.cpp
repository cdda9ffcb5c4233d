#include "list/message_number.h"

#include <climits>
#include <cstdint>

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool read_message_number(const char* text, std::size_t length, int& number)
{
    std::size_t i = 0;
    while (i < length && text[i] != '\0' && is_space(text[i]))
        ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= length || !is_digit(text[i]))
        return false;
    // Accumulated as a magnitude that stops growing once it is past what an
    // int can hold, so an endless run of digits cannot overflow.
    constexpr std::int64_t LIMIT = std::int64_t{INT_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; i < length && is_digit(text[i]); ++i) {
        if (magnitude <= LIMIT)
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    if (negative)
        number = magnitude >= LIMIT ? INT_MIN : static_cast<int>(-magnitude);
    else
        number = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
    return true;
}
