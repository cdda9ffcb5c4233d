#include <gtest/gtest.h>

#include <vector>

#include "console/windows_console_keys.h"

namespace {

struct KeyCase {
    const char* name;
    WORD virtual_key;
    char character;
    DWORD state;
    std::vector<int> codes;
};

std::vector<int> codes_of(const KeyCase& c, BOOL down)
{
    KEY_EVENT_RECORD event{};
    event.bKeyDown = down;
    event.wRepeatCount = 1;
    event.wVirtualKeyCode = c.virtual_key;
    event.uChar.AsciiChar = c.character;
    event.dwControlKeyState = c.state;
    int codes[2] = {-1, -1};
    const int count = windows_key_codes(event, codes);
    return std::vector<int>(codes, codes + count);
}

class WindowsConsoleKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(WindowsConsoleKeys, PressGivesTheCodesOfGetchAndReleaseNone)
{
    EXPECT_EQ(codes_of(GetParam(), TRUE), GetParam().codes);
    EXPECT_TRUE(codes_of(GetParam(), FALSE).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WindowsConsoleKeys,
    testing::Values(KeyCase{"Digit", '4', '4', 0, {'4'}},
                    KeyCase{"Esc", VK_ESCAPE, 0x1B, 0, {0x1B}},
                    KeyCase{"Enter", VK_RETURN, '\r', 0, {'\r'}},
                    KeyCase{"CodePageCharacter", 0xDE, static_cast<char>(0xE7), 0, {0xE7}},
                    KeyCase{"CtrlLetter", 'Q', 0x11, LEFT_CTRL_PRESSED, {0x11}},
                    KeyCase{"GreyUp", VK_UP, 0, ENHANCED_KEY, {0xE0, 0x48}},
                    KeyCase{"GreyPageDownIsQSecond", VK_NEXT, 0, ENHANCED_KEY, {0xE0, 0x51}},
                    KeyCase{"KeypadHomeNumLockOff", VK_HOME, 0, 0, {0x00, 0x47}},
                    KeyCase{"CtrlGreyLeft", VK_LEFT, 0, ENHANCED_KEY | RIGHT_CTRL_PRESSED, {0xE0, 0x73}},
                    KeyCase{"AltGreyDelete", VK_DELETE, 0, ENHANCED_KEY | LEFT_ALT_PRESSED, {0xE0, 0xA3}},
                    KeyCase{"F1", VK_F1, 0, 0, {0x00, 0x3B}},
                    KeyCase{"ShiftF1", VK_F1, 0, SHIFT_PRESSED, {0x00, 0x54}},
                    KeyCase{"F10", VK_F10, 0, 0, {0x00, 0x44}},
                    KeyCase{"F12", VK_F12, 0, 0, {0xE0, 0x86}},
                    KeyCase{"ShiftAlone", VK_SHIFT, 0, SHIFT_PRESSED, {}},
                    KeyCase{"CapsLock", VK_CAPITAL, 0, CAPSLOCK_ON, {}}),
    [](const testing::TestParamInfo<KeyCase>& param_info) { return param_info.param.name; });

}  // namespace
