#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "console/console.h"
#include "sim/sim_world.h"
#include "tests/test_support.h"

namespace {

const std::string ESC = "\x1b";

// The bytes the host wrote after the start-up C C C.
std::string written_after_start_up()
{
    const std::string all = as_text(sim_written());
    EXPECT_EQ(all.substr(0, 3), "CCC");
    return all.size() >= 3 ? all.substr(3) : "";
}

TEST(Console, EscPrintsTheMenuOnceMoreAndEndsTheRun)
{
    sim_reset();
    const CapturedRun run = run_console_with(ESC + "5");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, start_up() + MENU_TEXT);
    EXPECT_EQ(written_after_start_up(), "");
    EXPECT_EQ(sim_world().open_handles, 0);
}

struct KeyCase {
    const char* name;
    std::string keys;      // typed before the final Esc
    std::string sent;      // bytes written after the start-up C C C
    std::string printed;   // the console's own output for the keys
    std::string answered;  // the board's answer, echoed in the next pass
    std::vector<unsigned> pauses;
};

class ConsoleKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(ConsoleKeys, FollowTheKeyTable)
{
    const KeyCase& c = GetParam();
    sim_reset();
    const CapturedRun run = run_console_with(c.keys + ESC);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(written_after_start_up(), c.sent);
    EXPECT_EQ(run.output, start_up() + c.printed + shown(c.answered) + MENU_TEXT);
    EXPECT_EQ(recorded_pauses(), c.pauses);
    EXPECT_EQ(sim_world().open_handles, 0);
}

const std::string MENU = MENU_TEXT;

INSTANTIATE_TEST_SUITE_P(
    Table, ConsoleKeys,
    testing::Values(
        KeyCase{"Key4", "4", "CCC", "\n\n Trava/Destrava. " + MENU, SIM_LINE_LOCKED, {100}},
        KeyCase{"Key5", "5", "*", MENU, SIM_LINE_VERSION, {100}},
        KeyCase{"Key8", "8", "{{{{{", "", SIM_LINE_ERASED, {}},
        KeyCase{"Star", "*", "*", "", SIM_LINE_VERSION, {}},
        KeyCase{"UpperQ", "Q", "Q", "", "Comando Q recebido\r", {}},
        KeyCase{"UpperR", "R", "R", "", "Comando R recebido\r", {}},
        KeyCase{"UpperW", "W", "W", "", "Comando W recebido\r", {}},
        KeyCase{"LowerQ", "q", "q", "", "Comando q recebido\r", {}},
        KeyCase{"Question", "?", "", MENU, "", {}},
        KeyCase{"Digit", "7", "", MENU, "", {}},
        KeyCase{"Letter", "x", "", MENU, "", {}},
        KeyCase{"HighCodeIsNotAKeyOfItsOwn", "\xd1", "", MENU, "", {}},
        KeyCase{"EachCodeOfATwoCodeKeyInItsOwnPass", "\xe0Q", "Q", MENU, "Comando Q recebido\r", {}},
        KeyCase{"FunctionKey", std::string(1, '\0') + "\x3b", "", MENU + MENU, "", {}}),
    [](const testing::TestParamInfo<KeyCase>& param_info) { return param_info.param.name; });

TEST(Console, BoardChunkStartingWithEscEndsTheRunWithoutMenu)
{
    sim_reset();
    sim_board_says("\x1b" "fim");
    // The start-up answer and this chunk arrive together in one read.
    sim_world().board.programming_locked = false;
    const CapturedRun run = run_console_with("");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, std::string(BANNER_TEXT) + MENU_TEXT + "\x1b" "fim" + shown(SIM_LINE_LOCKED));
    EXPECT_EQ(sim_world().open_handles, 0);
}

TEST(Console, EscLaterInAChunkOrWithAKeyDoesNotEndTheRun)
{
    sim_reset();
    sim_world().board.programming_locked = false;
    sim_board_says("a\x1b");
    // The chunk "a Esc ..." does not end the run; the key x in the same pass
    // overwrites the first byte; only the final Esc key ends it.
    const CapturedRun run = run_console_with("x" + ESC);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, std::string(BANNER_TEXT) + MENU_TEXT + "a\x1b" + shown(SIM_LINE_LOCKED) +
                              MENU_TEXT + MENU_TEXT);
}

TEST(Console, EchoesLongOutputInSlicesOf104InOrder)
{
    sim_reset();
    std::string long_output;
    for (int i = 0; i < 300; ++i)
        long_output += static_cast<char>('a' + i % 26);
    long_output += "\rfim\r";
    sim_board_says(long_output);
    // Each key x keeps the loop going for one more pass and marks it with a menu.
    const CapturedRun run = run_console_with("xxx" + ESC);
    const std::string all = shown(long_output) + shown(SIM_LINE_UNLOCKED);
    EXPECT_EQ(run.output, std::string(BANNER_TEXT) + MENU_TEXT + all.substr(0, 104) + MENU_TEXT +
                              all.substr(104, 104) + MENU_TEXT + all.substr(208, 104) + MENU_TEXT +
                              all.substr(312) + MENU_TEXT);
    std::vector<std::int64_t> sizes;
    for (const SimCall& read : sim_calls(SimOp::Read))
        sizes.push_back(read.args[0]);
    EXPECT_EQ(sizes, (std::vector<std::int64_t>{104, 104, 104, 14}));
}

TEST(Console, PrintsCarriageReturnAsLineBreakAndPassesOtherControlBytes)
{
    sim_reset();
    sim_world().board.programming_locked = false;
    sim_board_says("x\r\ny\x07");
    const CapturedRun run = run_console_with("");
    EXPECT_EQ(run.output, std::string(BANNER_TEXT) + MENU_TEXT + "x\n\ny\x07" + shown(SIM_LINE_LOCKED));
}

struct LinkFailureCase {
    const char* name;
    SimOp op;
    std::uint32_t after;
    std::string keys;
    std::string printed;  // between the banner and the failure's message
    const char* message;
};

class ConsoleLinkFailure : public testing::TestWithParam<LinkFailureCase> {};

TEST_P(ConsoleLinkFailure, ClosesTheBoardPrintsAndWaitsForOneKey)
{
    const LinkFailureCase& c = GetParam();
    sim_reset();
    sim_fail(c.op, DRV_IO_ERROR, c.after);
    // The last key is swallowed by the wait after the failure: no menu for it.
    const CapturedRun run = run_console_with(c.keys + "?");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, std::string(BANNER_TEXT) + c.printed + c.message);
    EXPECT_EQ(sim_world().open_handles, 0);
    const std::vector<SimCall>& calls = sim_world().calls;
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().op, SimOp::Close);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, ConsoleLinkFailure,
    testing::Values(
        LinkFailureCase{"QueueStatusAtOnce", SimOp::GetStatus, 0, "", MENU_TEXT,
                        "\n\n  Nao conseguiu ler status do USB!!!"},
        LinkFailureCase{"QueueStatusLater", SimOp::GetStatus, 1, "x", MENU_TEXT + shown(SIM_LINE_UNLOCKED) + MENU_TEXT,
                        "\n\n  Nao conseguiu ler status do USB!!!"},
        LinkFailureCase{"Read", SimOp::Read, 0, "", MENU_TEXT, "\n\n  Erro lendo USB!!!"}),
    [](const testing::TestParamInfo<LinkFailureCase>& param_info) { return param_info.param.name; });

TEST(Console, OpenFailureWaitsForAKeyWithNothingOpen)
{
    sim_reset();
    sim_world().devices = 0;
    const CapturedRun run = run_console_with("");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, std::string(BANNER_TEXT) + "\n\n  Nao foi detectada nenhuma placa!!!");
    EXPECT_EQ(sim_world().open_handles, 0);
}

TEST(Console, EndOfInputEndsTheRunWithoutMenu)
{
    sim_reset();
    const CapturedRun run = run_console_with("Q");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, start_up() + shown("Comando Q recebido\r"));
    EXPECT_EQ(sim_world().open_handles, 0);
}

TEST(Console, WriteFailuresAreIgnored)
{
    sim_reset();
    sim_fail(SimOp::Write, DRV_IO_ERROR);
    const CapturedRun run = run_console_with("48" + ESC);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, std::string(BANNER_TEXT) + MENU_TEXT + "\n\n Trava/Destrava. " + MENU_TEXT +
                              MENU_TEXT);
}

}  // namespace
