#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/terminal.h"
#include "tests/test_support.h"

namespace {

std::vector<int> keys_read(int count)
{
    std::vector<int> codes;
    for (int i = 0; i < count; ++i)
        codes.push_back(term_read_key());
    return codes;
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
