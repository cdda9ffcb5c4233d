#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "console/terminal.h"
#include "tests/test_support.h"

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

class TerminalKeys : public testing::TestWithParam<SequenceCase> {};

TEST_P(TerminalKeys, TranslateTerminalSequencesToPrefixAndCode)
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
    Sequences, TerminalKeys,
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

TEST(Terminal, LoneEscIsEscAfterAShortWait)
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

TEST(Terminal, RawWhilePollingCookedForALineRestoredAtTheEnd)
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

TEST(Terminal, PipedInputIsReadByteByByteWithoutTranslation)
{
    std::vector<int> codes;
    run_with_terminal("\x1b[A5", [&] {
        codes = keys_read(5);
        return 0;
    });
    EXPECT_EQ(codes, (std::vector<int>{0x1B, '[', 'A', '5', -1}));
}

TEST(Terminal, LinesShareTheBufferWithKeysAndSplitLikeFgets)
{
    const std::string long_line(300, 'n');
    std::vector<std::string> lines;
    int key = 0;
    bool at_end = true;
    run_with_terminal("3" + long_line + "\n12abc\n", [&] {
        key = term_read_key();
        char line[256];
        while (term_read_line(line, sizeof line))
            lines.emplace_back(line);
        at_end = term_input_ended();
        return 0;
    });
    EXPECT_EQ(key, '3');
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string(255, 'n'));
    EXPECT_EQ(lines[1], std::string(45, 'n') + "\n");
    EXPECT_EQ(lines[2], "12abc\n");
    EXPECT_TRUE(at_end);
}

TEST(Terminal, MessagesAndDirectCharactersKeepTheirOrder)
{
    const CapturedRun run = run_with_terminal("", [] {
        term_print("\n Enviando %s tamanho %ld ", "a.wav", 20L);
        term_put_char('/');
        term_print("%s", "x");
        term_put_char('\b');
        return 0;
    });
    EXPECT_EQ(run.output, "\n Enviando a.wav tamanho 20 /x\b");
}

}  // namespace
