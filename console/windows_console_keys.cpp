#include "console/windows_console_keys.h"

namespace {

// Second codes of the cursor and function keys, as the PC keyboard has them:
// alone, with Shift, with Ctrl, with Alt.
struct ExtendedKey {
    WORD virtual_key;
    int codes[4];
};

constexpr ExtendedKey EXTENDED_KEYS[] = {
    {VK_F1, {0x3B, 0x54, 0x5E, 0x68}},  {VK_F2, {0x3C, 0x55, 0x5F, 0x69}},
    {VK_F3, {0x3D, 0x56, 0x60, 0x6A}},  {VK_F4, {0x3E, 0x57, 0x61, 0x6B}},
    {VK_F5, {0x3F, 0x58, 0x62, 0x6C}},  {VK_F6, {0x40, 0x59, 0x63, 0x6D}},
    {VK_F7, {0x41, 0x5A, 0x64, 0x6E}},  {VK_F8, {0x42, 0x5B, 0x65, 0x6F}},
    {VK_F9, {0x43, 0x5C, 0x66, 0x70}},  {VK_F10, {0x44, 0x5D, 0x67, 0x71}},
    {VK_F11, {0x85, 0x87, 0x89, 0x8B}}, {VK_F12, {0x86, 0x88, 0x8A, 0x8C}},
    {VK_HOME, {0x47, 0x47, 0x77, 0x97}}, {VK_UP, {0x48, 0x48, 0x8D, 0x98}},
    {VK_PRIOR, {0x49, 0x49, 0x84, 0x99}}, {VK_LEFT, {0x4B, 0x4B, 0x73, 0x9B}},
    {VK_RIGHT, {0x4D, 0x4D, 0x74, 0x9D}}, {VK_END, {0x4F, 0x4F, 0x75, 0x9F}},
    {VK_DOWN, {0x50, 0x50, 0x91, 0xA0}}, {VK_NEXT, {0x51, 0x51, 0x76, 0xA1}},
    {VK_INSERT, {0x52, 0x52, 0x92, 0xA2}}, {VK_DELETE, {0x53, 0x53, 0x93, 0xA3}},
};

}  // namespace

int windows_key_codes(const KEY_EVENT_RECORD& event, int codes[2])
{
    if (!event.bKeyDown)
        return 0;
    const auto character = static_cast<unsigned char>(event.uChar.AsciiChar);
    if (character != 0) {
        codes[0] = character;
        return 1;
    }
    for (const ExtendedKey& key : EXTENDED_KEYS) {
        if (key.virtual_key != event.wVirtualKeyCode)
            continue;
        const DWORD state = event.dwControlKeyState;
        int variant = 0;
        if (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED))
            variant = 3;
        else if (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED))
            variant = 2;
        else if (state & SHIFT_PRESSED)
            variant = 1;
        // The grey cursor keys and F11, F12 come after 0xE0; F1 to F10 and the
        // keypad's cursor keys (Num Lock off) after 0x00.
        const bool grey = (state & ENHANCED_KEY) != 0 || key.virtual_key == VK_F11 ||
                          key.virtual_key == VK_F12;
        codes[0] = grey ? 0xE0 : 0x00;
        codes[1] = key.codes[variant];
        return 2;
    }
    return 0;
}
