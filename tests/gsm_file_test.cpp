#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "link/board_link.h"
#include "sim/sim_world.h"
#include "tests/test_support.h"
#include "upload/upload.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes numbered(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i + 1);
    return bytes;
}

// Bytes first..last of `file` (1-based, as the file's own numbering b1, b2...).
Bytes slice(const Bytes& file, std::size_t first, std::size_t last)
{
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(first - 1),
                 file.begin() + static_cast<std::ptrdiff_t>(last));
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes ZERO{0};

class GsmFile : public testing::Test {
protected:
    void SetUp() override
    {
        sim_reset();
        run_with_terminal("", [&] { return open_board(link); });
        sim_world().calls.clear();
    }
    void TearDown() override { close_board(link); }

    CapturedRun upload(const std::string& name, int number = 5)
    {
        return run_with_terminal("", [&] { return upload_gsm_file(link, name.c_str(), number); });
    }

    ScratchDir dir;
    BoardLink link;
};

struct PackCase {
    const char* name;
    std::size_t file_size;
    Bytes (*expected)(const Bytes& file);
};

void PrintTo(const PackCase& c, std::ostream* os)
{
    *os << c.name;
}

class GsmPacking : public GsmFile, public testing::WithParamInterface<PackCase> {};

TEST_P(GsmPacking, SendsTheFileAsZeroEndedRecords)
{
    const PackCase& c = GetParam();
    const Bytes file = numbered(c.file_size);
    dir.write("voz.gsm", file);
    const Bytes payload = c.expected(file);
    const CapturedRun run = upload("voz.gsm");
    EXPECT_EQ(run.result, UPLOAD_OK);
    EXPECT_EQ(run.output.substr(0, run.output.find('/')),
              "\n Enviando voz.gsm tamanho " + std::to_string(payload.size()) + " ");
    const SimBoard& board = sim_world().board;
    ASSERT_EQ(board.messages.count(5), 1u);
    EXPECT_EQ(board.messages.at(5).format, FORMAT_GSM);
    EXPECT_EQ(board.messages.at(5).payload, payload);
    const Bytes written = sim_written();
    ASSERT_GE(written.size(), 9u);
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 9),
              (Bytes{0x3E, 0x3E, 0x3E, 5, FORMAT_GSM, 0, 0, 0, static_cast<std::uint8_t>(payload.size())}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, GsmPacking,
    testing::Values(
        PackCase{"Empty", 0, [](const Bytes&) { return Bytes(34, 0); }},
        PackCase{"OneByte", 1, [](const Bytes& f) { return Bytes(33, f[0]) + ZERO; }},
        PackCase{"OneFrame", 33, [](const Bytes& f) { return f + ZERO; }},
        PackCase{"OneFrameAndAByte", 34,
                 [](const Bytes& f) { return slice(f, 1, 33) + ZERO + Bytes(33, f[33]) + ZERO; }},
        PackCase{"TwoFrames", 66,
                 [](const Bytes& f) { return slice(f, 1, 33) + ZERO + slice(f, 34, 66) + ZERO; }},
        PackCase{"SeventyBytes", 70,
                 [](const Bytes& f) {
                     return slice(f, 1, 33) + ZERO + slice(f, 34, 66) + ZERO + slice(f, 67, 70) +
                            Bytes(29, f[69]) + ZERO;
                 }}),
    [](const testing::TestParamInfo<PackCase>& param_info) { return param_info.param.name; });

TEST_F(GsmFile, EveryThirtyFourthByteIsZero)
{
    dir.write("cheio.gsm", Bytes(1000, 0xFF));
    EXPECT_EQ(upload("cheio.gsm").result, UPLOAD_OK);
    const Bytes& payload = sim_world().board.messages.at(5).payload;
    ASSERT_EQ(payload.size(), 31u * 34);
    for (std::size_t i = 0; i < payload.size(); ++i)
        EXPECT_EQ(payload[i], i % 34 == 33 ? 0x00 : 0xFF) << i;
}

TEST_F(GsmFile, AnyContentIsSentAsFrames)
{
    const std::string riff = std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16);
    dir.write("voz.wav", riff);
    const CapturedRun run = upload("voz.wav", 9);
    EXPECT_EQ(run.result, UPLOAD_OK);
    const SimMessage& message = sim_world().board.messages.at(9);
    EXPECT_EQ(message.format, FORMAT_GSM);
    const Bytes file(riff.begin(), riff.end());
    EXPECT_EQ(message.payload, file + Bytes(17, ' ') + ZERO);
}

TEST_F(GsmFile, MissingFileTouchesNothing)
{
    const CapturedRun run = upload("nao existe .gsm");
    EXPECT_EQ(run.result, UPLOAD_OPEN_FAILED);
    EXPECT_EQ(run.output, "\nNao consegui abrir arquivo \"nao existe .gsm\"");
    EXPECT_TRUE(sim_world().calls.empty());
}

TEST_F(GsmFile, DirectoryIsNoMessageFile)
{
    std::filesystem::create_directory("pasta.gsm");
    const CapturedRun run = upload("pasta.gsm");
    EXPECT_EQ(run.result, UPLOAD_OPEN_FAILED);
    EXPECT_EQ(run.output, "\nNao consegui abrir arquivo \"pasta.gsm\"");
    EXPECT_TRUE(sim_world().calls.empty());
}

TEST_F(GsmFile, FileTooLongForOnePayloadIsRefused)
{
    // Sparse: its records would pass the largest length the header can carry.
    // Past 4 GiB a 32-bit file length would wrap to one small record.
    for (const std::uintmax_t size : {std::uintmax_t{2'100'000'000}, (std::uintmax_t{1} << 32) + 33}) {
        SCOPED_TRACE(size);
        dir.write("enorme.gsm", "");
        std::filesystem::resize_file("enorme.gsm", size);
        const std::size_t descriptors = open_descriptors();
        const CapturedRun run = upload("enorme.gsm");
        EXPECT_EQ(run.result, UPLOAD_REFUSED);
        EXPECT_EQ(run.output, "\nNao consegui alocar");
        EXPECT_TRUE(sim_world().calls.empty());
        EXPECT_EQ(open_descriptors(), descriptors);
    }
}

TEST_F(GsmFile, FileIsClosedBeforeTheBoardIsTouched)
{
    dir.write("voz.gsm", numbered(40));
    std::size_t before = 0;
    std::size_t during_upload = 0;
    std::size_t after = 0;
    sim_world().board.on_store = [&](int, const SimMessage&) { during_upload = open_descriptors(); };
    const CapturedRun run = run_with_terminal("", [&] {
        before = open_descriptors();
        const int result = upload_gsm_file(link, "voz.gsm", 5);
        after = open_descriptors();
        return result;
    });
    EXPECT_EQ(run.result, UPLOAD_OK);
    EXPECT_EQ(during_upload, before);
    EXPECT_EQ(after, before);
}

TEST_F(GsmFile, TransactionFailuresPassThrough)
{
    dir.write("voz.gsm", numbered(40));
    const std::size_t descriptors = open_descriptors();
    sim_world().board.faults.number_echo = 6;
    CapturedRun run = upload("voz.gsm");
    EXPECT_EQ(run.result, UPLOAD_HEADER_FAILED);
    EXPECT_EQ(run.output, "\nMensagem 6");

    sim_reset();
    run_with_terminal("", [&] { return open_board(link); });
    sim_world().board.faults.change_echo_at = 40;
    sim_world().board.faults.changed_echo = 0x80;
    run = upload("voz.gsm");
    EXPECT_EQ(run.result, UPLOAD_ECHO_DIFFERED);
    EXPECT_EQ(run.output.substr(run.output.find("\nEnviou")), "\nEnviou 28 recebeu 80 ");
    EXPECT_EQ(open_descriptors(), descriptors);
}

}  // namespace
