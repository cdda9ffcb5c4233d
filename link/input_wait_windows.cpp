#include "link/input_wait.h"

#include <windows.h>

void wait_for_input(std::intptr_t key_wait, std::uint32_t max_ms)
{
    if (key_wait == -1) {
        Sleep(max_ms);
        return;
    }
    const HANDLE input = reinterpret_cast<HANDLE>(key_wait);
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        WaitForSingleObject(input, max_ms);
        return;
    }
    // A pipe cannot be waited on: look again every millisecond. Anything else
    // (a file, or a pipe that cannot be looked into) always has input or its
    // end, so there is nothing to wait for.
    const ULONGLONG deadline = GetTickCount64() + max_ms;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) || available > 0)
            return;
        if (GetTickCount64() >= deadline)
            return;
        Sleep(1);
    }
}
