#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/terminal.h"
#include "tests/test_support.h"

namespace {

TEST(TerminalWindows, PipedTextLinesLoseTheCarriageReturnKeysKeepIt)
{
    std::vector<std::string> lines;
    int key = 0;
    run_with_terminal("12\r\nvoz.wav\r\n\r\n3\r\r\n", [&] {
        char line[256];
        for (int i = 0; i < 3; ++i) {
            if (term_read_line(line, sizeof line))
                lines.emplace_back(line);
        }
        key = term_read_key();
        if (term_read_line(line, sizeof line))
            lines.emplace_back(line);
        return 0;
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"12\n", "voz.wav\n", "\n", "\r\n"}));
    EXPECT_EQ(key, '3');
}

TEST(TerminalWindows, OutputIsWrittenAsIsWithoutCarriageReturns)
{
    const CapturedRun run = run_with_terminal("", [] {
        term_print("\n\nComandos:\n");
        term_put_char('\n');
        term_put_char('\r');
        return 0;
    });
    EXPECT_EQ(run.output, "\n\nComandos:\n\n\r");
}

}  // namespace
