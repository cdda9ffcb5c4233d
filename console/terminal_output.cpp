#include <cstdarg>
#include <cstdio>
#include <vector>

#include "console/terminal.h"

void term_print(const char* format, ...)
{
    char small[512];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(small, sizeof small, format, arguments);
    va_end(arguments);
    if (length < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        term_write(small, static_cast<std::size_t>(length));
    } else {
        // Rare: a long file name in a message.
        std::vector<char> large(static_cast<std::size_t>(length) + 1);
        // The same text as measured above, now with room for all of it.
        (void)std::vsnprintf(large.data(), large.size(), format, again);
        term_write(large.data(), static_cast<std::size_t>(length));
    }
    va_end(again);
}

void term_put_char(char c)
{
    term_write(&c, 1);
}
