#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "console/terminal.h"

namespace {

// A pseudo-terminal whose slave side the terminal layer takes as its input
// and output, as if an operator typed at it.
struct PseudoTerminal {
    int master = -1;
    int slave = -1;
    PseudoTerminal()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    }
    ~PseudoTerminal()
    {
        close(slave);
        close(master);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    void type(const std::string& keys) const
    {
        ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
};

std::vector<int> keys_read(int count)
{
    std::vector<int> codes;
    for (int i = 0; i < count; ++i)
        codes.push_back(term_read_key());
    return codes;
}

struct SequenceCase {
    const char* name;
    std::string typed;
    std::vector<int> codes;
};

class TerminalPosixKeys : public testing::TestWithParam<SequenceCase> {};

TEST_P(TerminalPosixKeys, TranslateTerminalSequencesToPrefixAndCode)
{
    const SequenceCase& c = GetParam();
    PseudoTerminal pty;
    term_set_fds(pty.slave, pty.slave);
    term_init();
    pty.type(c.typed);
    EXPECT_EQ(keys_read(static_cast<int>(c.codes.size())), c.codes);
    term_shutdown();
    term_set_fds(0, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, TerminalPosixKeys,
    testing::Values(SequenceCase{"Up", "\x1b[A", {0xE0, 0x48}},
                    SequenceCase{"Down", "\x1b[B", {0xE0, 0x50}},
                    SequenceCase{"Right", "\x1b[C", {0xE0, 0x4D}},
                    SequenceCase{"Left", "\x1b[D", {0xE0, 0x4B}},
                    SequenceCase{"LeftInApplicationMode", "\x1bOD", {0xE0, 0x4B}},
                    SequenceCase{"CtrlRight", "\x1b[1;5C", {0xE0, 0x4D}},
                    SequenceCase{"Home", "\x1b[H", {0xE0, 0x47}},
                    SequenceCase{"Delete", "\x1b[3~", {0xE0, 0x53}},
                    SequenceCase{"PageDownIsQSecond", "\x1b[6~", {0xE0, 0x51}},
                    SequenceCase{"F1", "\x1bOP", {0x00, 0x3B}},
                    SequenceCase{"F5", "\x1b[15~", {0x00, 0x3F}},
                    SequenceCase{"F10", "\x1b[21~", {0x00, 0x44}},
                    SequenceCase{"F12", "\x1b[24~", {0xE0, 0x86}},
                    SequenceCase{"LinuxConsoleF2", "\x1b[[B", {0x00, 0x3C}},
                    SequenceCase{"AltLetterIsEscThenLetter", "\x1bx", {0x1B, 'x'}},
                    SequenceCase{"PlainKeys", "4q", {'4', 'q'}}),
    [](const testing::TestParamInfo<SequenceCase>& param_info) { return param_info.param.name; });

TEST(TerminalPosix, LoneEscIsEscAfterAShortWait)
{
    PseudoTerminal pty;
    term_set_fds(pty.slave, pty.slave);
    term_init();
    pty.type("\x1b");
    EXPECT_TRUE(term_key_waiting());
    EXPECT_EQ(term_read_key(), 0x1B);
    EXPECT_FALSE(term_key_waiting());
    term_shutdown();
    term_set_fds(0, 1);
}

TEST(TerminalPosix, RawWhilePollingCookedForALineRestoredAtTheEnd)
{
    PseudoTerminal pty;
    termios before{};
    tcgetattr(pty.slave, &before);
    term_set_fds(pty.slave, pty.slave);
    term_init();
    termios raw{};
    tcgetattr(pty.slave, &raw);
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO), 0u);
    pty.type("nome do arquivo\n");
    char line[256];
    ASSERT_TRUE(term_read_line(line, sizeof line));
    EXPECT_STREQ(line, "nome do arquivo\n");
    termios after_line{};
    tcgetattr(pty.slave, &after_line);
    EXPECT_EQ(after_line.c_lflag & (ICANON | ECHO), 0u);
    term_shutdown();
    termios after{};
    tcgetattr(pty.slave, &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    term_set_fds(0, 1);
}

}  // namespace
