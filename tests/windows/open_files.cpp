#include <cstdlib>
#include <io.h>

#include "tests/test_support.h"

namespace {

void ignore_invalid_parameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, std::uintptr_t)
{
}

}  // namespace

// Message and list files are opened through the C runtime, so its descriptors
// are the ones to count; the process's handle count would also see the
// system's own.
std::size_t open_descriptors()
{
    const _invalid_parameter_handler previous = _set_invalid_parameter_handler(ignore_invalid_parameter);
    std::size_t count = 0;
    for (int fd = 0; fd < 2048; ++fd)
        if (_get_osfhandle(fd) != -1)
            ++count;
    _set_invalid_parameter_handler(previous);
    return count;
}
