#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "link/board_link.h"
#include "list/message_list.h"
#include "sim/sim_world.h"
#include "tests/message_files.h"
#include "tests/test_support.h"
#include "upload/upload.h"

namespace {

// One upload as the board stored it.
struct Stored {
    int number;  // the board's message number, 0..255
    int format;
    std::size_t size;
    bool operator==(const Stored&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Stored& s)
{
    return out << "{" << s.number << ", " << s.format << ", " << s.size << "}";
}

constexpr int GSM = FORMAT_GSM;
constexpr int WAV = FORMAT_MULAW;

// Every list test has these files at hand: one-record GSM files and a small
// mu-law WAV under several names, no two of which differ only in case (one
// file on Windows).
const std::string ONE_FRAME = "G";
const std::string SMALL_WAV = mulaw_wav(20);
// Names that fill an entry line of 99, 98 and 99 characters.
const std::string NAME_97 = std::string(93, 'n') + ".gsm";
const std::string NAME_96 = std::string(92, 'n') + ".gsm";
const std::string OTHER_97 = std::string(93, 'm') + ".gsm";
const std::vector<std::pair<std::string, std::string>> FILES = {
    {"a.gsm", ONE_FRAME},    {"b.gsm", ONE_FRAME},     {" a.gsm", ONE_FRAME},
    {"menu.gsm", ONE_FRAME}, {"espera.GSM", ONE_FRAME}, {"bomdia.wav", SMALL_WAV},
    {"repete.wav", SMALL_WAV}, {"antiga.wav", SMALL_WAV}, {"fim.wav", SMALL_WAV},
    {"a.gsm.wav", SMALL_WAV}, {"c.Gsm", SMALL_WAV},    {"ruim.wav", "not a wave file"},
    {"big.gsm", std::string(330, 'g')}, {NAME_97, ONE_FRAME}, {NAME_96, ONE_FRAME},
    {OTHER_97, ONE_FRAME},
};

std::string ok_gsm(const std::string& name, int records = 1)
{
    return gsm_shown(name, records) + "OK";
}

std::string ok_wav(const std::string& name)
{
    return wav_shown(name, 20) + "OK";
}

std::string not_sent(int code, const std::string& entry)
{
    return "\nErro: " + std::to_string(code) + "\n" + entry + " nao enviado";
}

std::string summary(int errors)
{
    return "\n\n  Ocorreu ERRO em " + std::to_string(errors) + " mensagens !!!!\n\n";
}

class MessageList : public testing::Test {
protected:
    void SetUp() override
    {
        sim_reset();
        run_with_terminal("", [&] { return open_board(link); });
        sim_world().calls.clear();
        sim_world().board.on_store = [this](int number, const SimMessage& message) {
            stored.push_back({number, message.format, message.payload.size()});
        };
        for (const auto& [name, bytes] : FILES)
            dir.write(name, bytes);
    }
    void TearDown() override { close_board(link); }

    CapturedRun load(const std::string& list_text)
    {
        dir.write("lista.cfg", list_text);
        return run_with_terminal("", [&] { return load_message_list(link, "lista.cfg"); });
    }

    ScratchDir dir;
    BoardLink link;
    std::vector<Stored> stored;
};

struct ListCase {
    std::string name;
    std::string list;
    std::vector<Stored> stored;
    std::string printed;
};

void PrintTo(const ListCase& c, std::ostream* out)
{
    *out << c.name;
}

class MessageListCases : public MessageList, public testing::WithParamInterface<ListCase> {};

TEST_P(MessageListCases, UploadsEachEntryAndReports)
{
    const ListCase& c = GetParam();
    const std::size_t descriptors = open_descriptors();
    const CapturedRun run = load(c.list);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(stored, c.stored);
    EXPECT_EQ(run.output, c.printed);
    EXPECT_EQ(open_descriptors(), descriptors) << "the list file stayed open";
}

std::string repeated(const std::string& line, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

std::vector<ListCase> list_cases()
{
    std::vector<ListCase> cases = {
        {"TheExampleList",
         "* lista de mensagens\n1:bomdia.wav\n2:menu.gsm\n*3:antiga.wav\n\n10:espera.GSM\n"
         "Mensagem 11:fim.wav\n:repete.wav\n",
         {{1, WAV, 20}, {2, GSM, 34}, {10, GSM, 34}, {10, WAV, 20}},
         ok_wav("bomdia.wav") + ok_gsm("menu.gsm") + ok_gsm("espera.GSM") + ok_wav("repete.wav")},
        {"EmptyList", "", {}, ""},
        {"CommentsOnly", "* um\n*1:a.gsm\n**\n*", {}, ""},
        {"FailedEntriesAreCountedAndTheListGoesOn", "1:nada.gsm\n2:ruim.wav\n3:a.gsm\n",
         {{3, GSM, 34}},
         not_opened("nada.gsm") + not_sent(1, "1:nada.gsm") + "\nAbriu arquivo \"ruim.wav\"\nFormato invalido" +
             not_sent(2, "2:ruim.wav") + ok_gsm("a.gsm") + summary(2)},
        {"FourDigitNumberIsHandedOnWhole", "1234:a.gsm\n1234:nada.gsm\n", {{210, GSM, 34}},
         ok_gsm("a.gsm") + not_opened("nada.gsm") + not_sent(1, "1234:nada.gsm") + summary(1)},
        {"FiveDigitNumberIsNoEntry", "12345:a.gsm\n", {}, ""},
        {"SignedNumbers", "+5:a.gsm\n-3:a.gsm\n-3:nada.gsm\n", {{5, GSM, 34}, {253, GSM, 34}},
         ok_gsm("a.gsm") + ok_gsm("a.gsm") + not_opened("nada.gsm") + not_sent(1, "-3:nada.gsm") + summary(1)},
        {"SpaceBeforeNumberIsSkippedSpaceAfterColonIsNamed", " 7:a.gsm\n8: a.gsm\n",
         {{7, GSM, 34}, {8, GSM, 34}}, ok_gsm("a.gsm") + ok_gsm(" a.gsm")},
        {"NumberAndColonAloneAsksWavForAnEmptyName", "5:\n", {},
         not_opened("") + not_sent(1, "5:") + summary(1)},
        {"NoNumberBeforeAnyGivesMessageZero", ":a.gsm\n", {{0, GSM, 34}}, ok_gsm("a.gsm")},
        {"NoNumberCarriesTheLastOne", " :a.gsm\n4:b.gsm\n-:a.gsm\n+x:b.gsm\n  :nada.gsm\n",
         {{0, GSM, 34}, {4, GSM, 34}, {4, GSM, 34}, {4, GSM, 34}},
         ok_gsm("a.gsm") + ok_gsm("b.gsm") + ok_gsm("a.gsm") + ok_gsm("b.gsm") + not_opened("nada.gsm") +
             not_sent(1, "4:nada.gsm") + summary(1)},
        {"CarriageReturnsBeforeLineFeedsNeverReachTheEntry", "1:a.gsm\r\n\r\n2:b.gsm\r\n3:a.gsm\r",
         {{1, GSM, 34}, {2, GSM, 34}},
         ok_gsm("a.gsm") + ok_gsm("b.gsm") + not_opened("a.gsm\r") + not_sent(1, "3:a.gsm\r") + summary(1)},
        {"GsmByTheTwoSpellingsOnly", "1:a.gsm.wav\n2:c.Gsm\n", {{1, GSM, 68}, {2, WAV, 20}},
         ok_gsm("a.gsm.wav", 2) + ok_wav("c.Gsm")},
    };

    // 61 entries: the 61st line, a missing file, is never read.
    std::string sixty_one;
    std::vector<Stored> sixty;
    std::string sixty_ok;
    for (int i = 1; i <= 60; ++i) {
        sixty_one += std::to_string(i) + ":a.gsm\n";
        sixty.push_back({i, GSM, 34});
        sixty_ok += ok_gsm("a.gsm");
    }
    cases.push_back({"SixtyLinesAtMost", sixty_one + "61:nada.gsm\n", sixty, sixty_ok});

    // A line of 99 characters and its line feed are two lines: with 57 more
    // before it, entry 2 is the 60th line and entry 3 the 61st.
    cases.push_back({"LineOfNinetyNineCharactersCountsTwice",
                     "1:" + NAME_97 + "\n" + repeated("x\n", 57) + "2:a.gsm\n3:a.gsm\n",
                     {{1, GSM, 34}, {2, GSM, 34}}, ok_gsm(NAME_97) + ok_gsm("a.gsm")});
    // CR LF is one line end: 98 characters and CR LF are one line.
    cases.push_back({"CarriageReturnAndLineFeedCountAsOneCharacter",
                     "1:" + NAME_96 + "\r\n" + repeated("x\r\n", 57) + "2:a.gsm\r\n3:a.gsm\r\n",
                     {{1, GSM, 34}, {2, GSM, 34}, {3, GSM, 34}},
                     ok_gsm(NAME_96) + ok_gsm("a.gsm") + ok_gsm("a.gsm")});
    // The rest of an overlong line is a line of its own.
    cases.push_back({"LongLinesAreReadInPieces",
                     "2:" + NAME_97 + "3:b.gsm\n4:" + NAME_97 + "*5:b.gsm\n6:" + NAME_97 + "abcde:b.gsm\n" +
                         "7:" + OTHER_97 + std::string(99, 'x') + "8:a.gsm\n",
                     {{2, GSM, 34}, {3, GSM, 34}, {4, GSM, 34}, {6, GSM, 34}, {7, GSM, 34}, {8, GSM, 34}},
                     ok_gsm(NAME_97) + ok_gsm("b.gsm") + ok_gsm(NAME_97) + ok_gsm(NAME_97) + ok_gsm(OTHER_97) +
                         ok_gsm("a.gsm")});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Lists, MessageListCases, testing::ValuesIn(list_cases()),
                         [](const testing::TestParamInfo<ListCase>& param_info) { return param_info.param.name; });

TEST_F(MessageList, ListThatDoesNotOpenReturnsOneAndTouchesNothing)
{
    std::filesystem::create_directory(dir.path + "/pasta.cfg");
    for (const char* name : {"nada.cfg", "pasta.cfg", ""}) {
        sim_world().calls.clear();
        const CapturedRun run =
            run_with_terminal("", [&] { return load_message_list(link, name); });
        EXPECT_EQ(run.result, 1) << name;
        EXPECT_EQ(run.output, not_opened(name)) << name;
        EXPECT_TRUE(sim_world().calls.empty()) << name;
    }
}

struct StopCase {
    const char* name;
    std::function<void(SimUploadFaults&)> fault;
    std::string list;
    int code;
    std::string failed_entry;
};

void PrintTo(const StopCase& c, std::ostream* out)
{
    *out << c.name;
}

class MessageListStops : public MessageList, public testing::WithParamInterface<StopCase> {};

TEST_P(MessageListStops, LinkAndBoardFailuresEndTheList)
{
    const StopCase& c = GetParam();
    c.fault(sim_world().board.faults);
    const std::size_t descriptors = open_descriptors();
    const CapturedRun run = load(c.list + "5:nada.gsm\n6:a.gsm\n");
    EXPECT_EQ(run.result, c.code);
    EXPECT_EQ(stored.size(), 2u);
    const std::string ending = not_sent(c.code, c.failed_entry);
    ASSERT_GE(run.output.size(), ending.size());
    EXPECT_EQ(run.output.substr(run.output.size() - ending.size()), ending) << run.output;
    EXPECT_EQ(run.output.find("Ocorreu"), std::string::npos);
    EXPECT_EQ(run.output.find("5:nada.gsm"), std::string::npos);
    EXPECT_EQ(open_descriptors(), descriptors) << "the list file stayed open";
}

// Small files pass; the big one's payload reaches the faulty byte.
const std::string UP_TO_THE_BIG_ONE = "1:a.gsm\n2:nada.gsm\n3:b.gsm\n4:big.gsm\n";

INSTANTIATE_TEST_SUITE_P(
    Codes, MessageListStops,
    testing::Values(
        StopCase{"LinkFailed", [](SimUploadFaults& f) { f.stop_echo_at = 100; }, UP_TO_THE_BIG_ONE, 3,
                 "4:big.gsm"},
        StopCase{"EchoDiffered", [](SimUploadFaults& f) { f.change_echo_at = 100; }, UP_TO_THE_BIG_ONE, 4,
                 "4:big.gsm"},
        // The board echoes 9 for every number, so only entry 4 fails.
        StopCase{"HeaderEchoDiffered", [](SimUploadFaults& f) { f.number_echo = 9; },
                 "9:a.gsm\n9:nada.gsm\n9:b.gsm\n4:a.gsm\n", 5, "4:a.gsm"}),
    [](const testing::TestParamInfo<StopCase>& param_info) { return param_info.param.name; });

TEST_F(MessageList, RunsAreIndependent)
{
    const CapturedRun first = load("7:nada.gsm\n");
    EXPECT_EQ(first.output, not_opened("nada.gsm") + not_sent(1, "7:nada.gsm") + summary(1));
    const CapturedRun second = load(":nada.gsm\n:a.gsm\n");
    EXPECT_EQ(second.result, 0);
    EXPECT_EQ(second.output, not_opened("nada.gsm") + not_sent(1, "0:nada.gsm") + ok_gsm("a.gsm") + summary(1));
    EXPECT_EQ(stored, (std::vector<Stored>{{0, GSM, 34}}));
}

}  // namespace
