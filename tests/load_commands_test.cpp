#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "console/load_commands.h"
#include "link/board_link.h"
#include "sim/sim_world.h"
#include "tests/message_files.h"
#include "tests/test_support.h"
#include "upload/upload.h"

namespace {

const std::string ESC = "\x1b";
const std::string MENU = MENU_TEXT;
const std::string NUMBER_PROMPT = "\n\nNumero da mensagem: ";
const std::string NAME_PROMPT = "\n\nNome do arquivo: ";
const std::string SMALL_WAV = mulaw_wav(20);

// After a successful load the board's answer to the closing byte is echoed in
// the next pass; the Esc that ends each run then prints the menu once more.
const std::string CLOSED_AND_ESC = shown(SIM_LINE_CLOSED) + MENU_TEXT;

struct Stored {
    int number;
    int format;
    std::size_t size;
    bool operator==(const Stored&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Stored& s)
{
    return out << "{" << s.number << ", " << s.format << ", " << s.size << "}";
}

class LoadCommands : public testing::Test {
protected:
    void SetUp() override
    {
        sim_reset();
        sim_world().board.on_store = [this](int number, const SimMessage& message) {
            stored.push_back({number, message.format, message.payload.size()});
        };
        dir.write("g.gsm", "G");
        dir.write("w.wav", SMALL_WAV);
        dir.write("a.gsm.wav", SMALL_WAV);
        dir.write("b.Gsm", SMALL_WAV);
        dir.write("big.gsm", std::string(330, 'g'));
    }

    // Writes after the start-up C C C, one entry per board_write.
    static std::vector<std::string> writes_after_start_up()
    {
        std::vector<std::string> writes;
        for (const SimCall& call : sim_calls(SimOp::Write))
            writes.push_back(as_text(call.bytes));
        EXPECT_FALSE(writes.empty());
        if (!writes.empty()) {
            EXPECT_EQ(writes.front(), "CCC");
            writes.erase(writes.begin());
        }
        return writes;
    }

    static bool closing_byte_sent()
    {
        const std::vector<std::string> writes = writes_after_start_up();
        return std::count(writes.begin(), writes.end(), "<") > 0;
    }

    ScratchDir dir;
    std::vector<Stored> stored;
};

struct OneMessageCase {
    const char* name;
    std::string typed;  // after the key 3
    Stored stored;
    std::string upload_shown;
};

void PrintTo(const OneMessageCase& c, std::ostream* out)
{
    *out << c.name;
}

class LoadOneMessage : public LoadCommands, public testing::WithParamInterface<OneMessageCase> {};

TEST_P(LoadOneMessage, ReadsTheNumberAndUploadsTheNamedFile)
{
    const OneMessageCase& c = GetParam();
    const CapturedRun run = run_console_with("3" + c.typed + ESC);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, start_up() + NUMBER_PROMPT + NAME_PROMPT + c.upload_shown + "\n\n Mensagem enviada." +
                              CLOSED_AND_ESC);
    EXPECT_EQ(stored, std::vector<Stored>{c.stored});
    const std::vector<std::string> writes = writes_after_start_up();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back(), "<");
    EXPECT_EQ(std::count(writes.begin(), writes.end(), "<"), 1);
    EXPECT_EQ(sim_world().open_handles, 0);
}

const std::string GSM_SHOWN = gsm_shown("g.gsm");

INSTANTIATE_TEST_SUITE_P(
    Numbers, LoadOneMessage,
    testing::Values(
        OneMessageCase{"Plain", "12\ng.gsm\n", {12, FORMAT_GSM, 34}, GSM_SHOWN},
        OneMessageCase{"DigitsThenText", "12abc\ng.gsm\n", {12, FORMAT_GSM, 34}, GSM_SHOWN},
        OneMessageCase{"NoNumber", "abc\ng.gsm\n", {0, FORMAT_GSM, 34}, GSM_SHOWN},
        OneMessageCase{"EmptyLine", "\ng.gsm\n", {0, FORMAT_GSM, 34}, GSM_SHOWN},
        OneMessageCase{"SpacesAndPlus", " \t+7\ng.gsm\n", {7, FORMAT_GSM, 34}, GSM_SHOWN},
        OneMessageCase{"MinusOneIsHandedOnWhole", "-1\ng.gsm\n", {255, FORMAT_GSM, 34}, GSM_SHOWN},
        OneMessageCase{"LowEightBits", "300\ng.gsm\n", {44, FORMAT_GSM, 34}, GSM_SHOWN},
        // Numbers beyond int are clamped: 2^32 gives INT_MAX, not 0.
        OneMessageCase{"TooLargeIsClamped", "4294967296\ng.gsm\n", {255, FORMAT_GSM, 34}, GSM_SHOWN},
        OneMessageCase{"TooSmallIsClamped", "-4294967297\ng.gsm\n", {0, FORMAT_GSM, 34}, GSM_SHOWN},
        // The first 255 characters are the number line; the rest is the name.
        OneMessageCase{"OverlongLineFeedsTheNamePrompt", "12" + std::string(253, 'x') + "g.gsm\n",
                       {12, FORMAT_GSM, 34}, GSM_SHOWN},
        OneMessageCase{"WavName", "5\nw.wav\n", {5, FORMAT_MULAW, 20},
                       wav_shown("w.wav", 20)},
        OneMessageCase{"GsmBeforeAnotherExtension", "6\na.gsm.wav\n", {6, FORMAT_GSM, 68},
                       gsm_shown("a.gsm.wav", 2)},
        OneMessageCase{"MixedCaseExtensionIsWav", "7\nb.Gsm\n", {7, FORMAT_MULAW, 20},
                       wav_shown("b.Gsm", 20)}),
    [](const testing::TestParamInfo<OneMessageCase>& param_info) { return param_info.param.name; });

struct FailedLoadCase {
    const char* name;
    std::string keys;
    std::string printed;  // between the start-up and the menu of the final Esc
};

void PrintTo(const FailedLoadCase& c, std::ostream* out)
{
    *out << c.name;
}

class FailedLoad : public LoadCommands, public testing::WithParamInterface<FailedLoadCase> {};

TEST_P(FailedLoad, PrintsTheFailureLineSendsNothingAndTheRunGoesOn)
{
    const FailedLoadCase& c = GetParam();
    const CapturedRun run = run_console_with(c.keys + ESC);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, start_up() + c.printed + MENU);
    EXPECT_EQ(writes_after_start_up(), std::vector<std::string>{});
    EXPECT_EQ(sim_world().open_handles, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Loads, FailedLoad,
    testing::Values(
        FailedLoadCase{"DefaultListMissing", "1", not_opened("kiru.cfg") + "\n\nErro: 1"},
        FailedLoadCase{"NamedListEmptyName", "2\n", NAME_PROMPT + not_opened("") + "\n\nErro: 1"},
        FailedLoadCase{"NamedListMissing", "2nada.cfg\n", NAME_PROMPT + not_opened("nada.cfg") + "\n\nErro: 1"},
        FailedLoadCase{"OneMessageEmptyName", "3\n\n",
                       NUMBER_PROMPT + NAME_PROMPT + not_opened("") + "\n\nOcorreu erro durante a gravacao"},
        FailedLoadCase{"OneMessageMissingFile", "337\nnada.gsm\n",
                       NUMBER_PROMPT + NAME_PROMPT + not_opened("nada.gsm") + "\n\nOcorreu erro durante a gravacao"}),
    [](const testing::TestParamInfo<FailedLoadCase>& param_info) { return param_info.param.name; });

TEST_F(LoadCommands, EndOfInputAtANamePromptEndsTheCommandSilently)
{
    for (const auto& [keys, printed] : {std::pair<std::string, std::string>{"2", NAME_PROMPT},
                                        {"3", NUMBER_PROMPT + NAME_PROMPT},
                                        {"35\n", NUMBER_PROMPT + NAME_PROMPT}}) {
        sim_reset();
        const CapturedRun run = run_console_with(keys);
        EXPECT_EQ(run.result, 0) << keys;
        EXPECT_EQ(run.output, start_up() + printed) << keys;
        EXPECT_EQ(writes_after_start_up(), std::vector<std::string>{}) << keys;
        EXPECT_EQ(sim_world().open_handles, 0) << keys;
    }
}

TEST_F(LoadCommands, ListWithFailedEntriesStillCountsAsSent)
{
    const std::string list = "1:nada.gsm\n2:g.gsm\n";
    const std::string list_shown = not_opened("nada.gsm") + "\nErro: 1\n1:nada.gsm nao enviado" +
                                   gsm_shown("g.gsm") + "OK" + "\n\n  Ocorreu ERRO em 1 mensagens !!!!\n\n";
    dir.write("kiru.cfg", list);
    dir.write("outra.cfg", list);

    const CapturedRun default_list = run_console_with("1" + ESC);
    EXPECT_EQ(default_list.output, start_up() + list_shown + "\n\n Mensagens enviadas. " + CLOSED_AND_ESC);
    EXPECT_EQ(writes_after_start_up().back(), "<");

    sim_reset();
    const CapturedRun named_list = run_console_with("2outra.cfg\n" + ESC);
    EXPECT_EQ(named_list.output,
              start_up() + NAME_PROMPT + list_shown + "\n\n Mensagens enviadas." + CLOSED_AND_ESC);
    EXPECT_EQ(writes_after_start_up().back(), "<");
}

TEST_F(LoadCommands, NamedListIsTakenAsTypedWithoutItsNewline)
{
    dir.write(" lista 2.cfg ", "4:g.gsm\n");
    const CapturedRun run = run_console_with("2 lista 2.cfg \n" + ESC);
    EXPECT_EQ(run.output, start_up() + NAME_PROMPT + gsm_shown("g.gsm") + "OK" + "\n\n Mensagens enviadas." +
                              CLOSED_AND_ESC);
    EXPECT_EQ(stored, (std::vector<Stored>{{4, FORMAT_GSM, 34}}));
}

TEST_F(LoadCommands, ListStoppedByTheLinkSendsNoClosingByte)
{
    dir.write("kiru.cfg", "4:big.gsm\n5:g.gsm\n");
    sim_world().board.faults.stop_echo_at = 100;
    const CapturedRun run = run_console_with("1" + ESC);
    const std::string ending = "\nErro: 3\n4:big.gsm nao enviado\n\nErro: 3" + MENU;
    ASSERT_GE(run.output.size(), ending.size());
    EXPECT_EQ(run.output.substr(run.output.size() - ending.size()), ending);
    EXPECT_FALSE(closing_byte_sent());
    EXPECT_TRUE(stored.empty());
}

TEST_F(LoadCommands, ClosingByteIsLeftInTheExchangeBuffer)
{
    BoardLink link;
    run_with_terminal("", [&] { return open_board(link); });
    std::uint8_t exchange[104] = {'3'};

    run_with_terminal("5\nnada.gsm\n", [&] {
        load_one_message(link, exchange);
        return 0;
    });
    EXPECT_EQ(exchange[0], '3') << "a failed load leaves the key's code";

    const CapturedRun run = run_with_terminal("5\ng.gsm\n", [&] {
        load_one_message(link, exchange);
        return 0;
    });
    EXPECT_EQ(run.output, NUMBER_PROMPT + NAME_PROMPT + GSM_SHOWN + "\n\n Mensagem enviada.");
    EXPECT_EQ(exchange[0], 0x3C);
    EXPECT_EQ(as_text(sim_calls(SimOp::Write).back().bytes), "<");
    close_board(link);
}

}  // namespace
