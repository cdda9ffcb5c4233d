#pragma once
// The key codes of the Windows console layer: a key press event becomes the
// codes _getch gives for it, a character or a prefix code and a second code.

#include <windows.h>

// Fills codes with 0, 1 or 2 codes for one occurrence of the key and returns
// their count. Releases, and keys that yield nothing alone (Shift, Ctrl, Alt,
// Caps Lock), give 0.
int windows_key_codes(const KEY_EVENT_RECORD& event, int codes[2]);
