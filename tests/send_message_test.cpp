#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "link/board_link.h"
#include "sim/sim_world.h"
#include "tests/test_support.h"
#include "upload/upload.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Payload bytes that differ from their neighbours and from the header bytes,
// with one byte more for odd lengths.
Bytes pattern(std::size_t size)
{
    Bytes bytes(size + 1);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(0x40 + i * 7);
    return bytes;
}

Bytes header(std::uint8_t number, std::uint8_t format, std::uint32_t announced)
{
    return {0x3E, 0x3E, 0x3E, number, format, static_cast<std::uint8_t>(announced >> 24),
            static_cast<std::uint8_t>(announced >> 16), static_cast<std::uint8_t>(announced >> 8),
            static_cast<std::uint8_t>(announced)};
}

Bytes concat(Bytes head, const Bytes& payload, std::size_t count)
{
    head.insert(head.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(count));
    return head;
}

std::vector<std::int64_t> counts(SimOp op)
{
    std::vector<std::int64_t> result;
    for (const SimCall& call : sim_calls(op))
        result.push_back(call.args.at(0));
    return result;
}

class SendMessage : public testing::Test {
protected:
    void SetUp() override
    {
        sim_reset();
        run_with_terminal("", [&] { return open_board(link); });
        sim_world().calls.clear();
    }
    void TearDown() override { close_board(link); }

    CapturedRun send(const Bytes& payload, std::int32_t n, FileKind kind = FileKind::GSM,
                     int number = 7, std::uint8_t format = FORMAT_GSM,
                     const char* name = "m.gsm", const char* label = nullptr)
    {
        return run_with_terminal("", [&] {
            return send_message(link, kind, number, format, payload.data(), n, name, label);
        });
    }

    BoardLink link;
};

struct ShapeCase {
    const char* name;
    std::int32_t n;
    std::uint32_t announced;
    std::vector<std::int64_t> writes;
    std::vector<std::int64_t> reads;
    const char* printed;
};

void PrintTo(const ShapeCase& c, std::ostream* os)
{
    *os << c.name;
}

class SendMessageShapes : public SendMessage, public testing::WithParamInterface<ShapeCase> {};

TEST_P(SendMessageShapes, PutsHeaderBlocksAndTailOnTheWire)
{
    const ShapeCase& c = GetParam();
    const Bytes payload = pattern(static_cast<std::size_t>(c.n));
    const CapturedRun run = send(payload, c.n);
    EXPECT_EQ(run.result, UPLOAD_OK);
    EXPECT_EQ(run.output, c.printed);
    EXPECT_EQ(sim_written(), concat(header(7, FORMAT_GSM, c.announced), payload, c.announced));
    EXPECT_EQ(counts(SimOp::Write), c.writes);
    EXPECT_EQ(counts(SimOp::Read), c.reads);
    const SimBoard& board = sim_world().board;
    ASSERT_EQ(board.messages.count(7), 1u);
    EXPECT_EQ(board.messages.at(7).format, FORMAT_GSM);
    EXPECT_EQ(board.messages.at(7).payload, concat({}, payload, c.announced));
    EXPECT_EQ(sim_world().now_us, 0u) << "no read waited";
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, SendMessageShapes,
    testing::Values(
        ShapeCase{"Empty", 0, 0, {3, 1, 1, 4, 0}, {1, 1, 4, 0}, "\n Enviando m.gsm tamanho 0 /"},
        ShapeCase{"Fifteen", 15, 16, {3, 1, 1, 4, 16}, {1, 1, 4, 16}, "\n Enviando m.gsm tamanho 16 /"},
        ShapeCase{"OneBlock", 16, 16, {3, 1, 1, 4, 16, 0}, {1, 1, 4, 16, 0},
                  "\n Enviando m.gsm tamanho 16 /\b/"},
        ShapeCase{"BlockAndOddTail", 31, 32, {3, 1, 1, 4, 16, 16}, {1, 1, 4, 16, 16},
                  "\n Enviando m.gsm tamanho 32 /\b/"},
        ShapeCase{"OneGsmRecord", 34, 34, {3, 1, 1, 4, 16, 16, 2}, {1, 1, 4, 16, 16, 2},
                  "\n Enviando m.gsm tamanho 34 /\b/\b\\"},
        ShapeCase{"SixBlocksAndTail", 100, 100, {3, 1, 1, 4, 16, 16, 16, 16, 16, 16, 4},
                  {1, 1, 4, 16, 16, 16, 16, 16, 16, 4},
                  "\n Enviando m.gsm tamanho 100 /\b/\b\\\b/\b\\\b/\b\\"}),
    [](const testing::TestParamInfo<ShapeCase>& param_info) { return param_info.param.name; });

TEST_F(SendMessage, ThreeBlocksLeaveASlashOnTheSpinner)
{
    const CapturedRun run = send(pattern(48), 48);
    EXPECT_EQ(run.result, UPLOAD_OK);
    EXPECT_EQ(run.output, "\n Enviando m.gsm tamanho 48 /\b/\b\\\b/");
}

TEST_F(SendMessage, SetsTimeOutsAndPurgesBeforeEveryUpload)
{
    sim_board_says("stale board output");
    EXPECT_EQ(send(pattern(16), 16).result, UPLOAD_OK);
    sim_board_says("more");
    EXPECT_EQ(send(pattern(16), 16).result, UPLOAD_OK);
    const std::vector<SimCall>& calls = sim_world().calls;
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < calls.size(); ++i)
        if (calls[i].op == SimOp::SetTimeouts)
            starts.push_back(i);
    ASSERT_EQ(starts.size(), 2u);
    for (std::size_t start : starts) {
        EXPECT_EQ(calls[start].args, (std::vector<std::int64_t>{1000, 1000}));
        ASSERT_LT(start + 2, calls.size());
        EXPECT_EQ(calls[start + 1].op, SimOp::Purge);
        EXPECT_EQ(calls[start + 1].args, (std::vector<std::int64_t>{DRV_PURGE_RX}));
        EXPECT_EQ(calls[start + 2].op, SimOp::Write);
    }
    EXPECT_EQ(starts[0], 0u);
    EXPECT_EQ(sim_world().read_timeout_ms, 1000u);
    EXPECT_EQ(sim_world().write_timeout_ms, 1000u);
}

TEST_F(SendMessage, OnlyTheLowEightBitsOfTheNumberTravel)
{
    for (const auto& [number, byte] : {std::pair{300, 0x2C}, std::pair{-1, 0xFF}, std::pair{256, 0x00}}) {
        sim_world().calls.clear();
        EXPECT_EQ(send(pattern(2), 2, FileKind::GSM, number).result, UPLOAD_OK) << number;
        EXPECT_EQ(sim_written().at(3), byte) << number;
        EXPECT_EQ(sim_world().board.messages.count(byte), 1u) << number;
    }
}

TEST_F(SendMessage, PrintsTheProgressLabelAfterTheProgressLine)
{
    const CapturedRun run =
        send(pattern(16), 16, FileKind::WAV, 2, FORMAT_ALAW, "voz 1.wav", "(PCM 16 bits) ");
    EXPECT_EQ(run.result, UPLOAD_OK);
    EXPECT_EQ(run.output, "\n Enviando voz 1.wav tamanho 16 (PCM 16 bits) /\b/");
}

struct AnswerCase {
    const char* name;
    std::int32_t n;
    std::int64_t capacity;      // -1: the board takes everything
    bool fixed;                 // answer `answer` whatever was announced
    std::int32_t answer;
    std::size_t sent;           // payload bytes that go out
    const char* printed;
};

void PrintTo(const AnswerCase& c, std::ostream* os)
{
    *os << c.name;
}

class SendMessageAnswers : public SendMessage, public testing::WithParamInterface<AnswerCase> {};

TEST_P(SendMessageAnswers, TheLengthAnswerCutsThePayload)
{
    const AnswerCase& c = GetParam();
    if (c.capacity >= 0)
        sim_world().board.capacity = static_cast<std::uint32_t>(c.capacity);
    sim_world().board.faults.fixed_length_answer = c.fixed;
    sim_world().board.faults.length_answer = c.answer;
    const Bytes payload = pattern(static_cast<std::size_t>(c.n));
    const CapturedRun run = send(payload, c.n);
    EXPECT_EQ(run.result, UPLOAD_OK);
    EXPECT_EQ(run.output, c.printed);
    const auto announced = static_cast<std::uint32_t>(c.n + (c.n & 1));
    EXPECT_EQ(sim_written(), concat(header(7, FORMAT_GSM, announced), payload, c.sent));
    EXPECT_EQ(sim_world().board.messages.at(7).payload, concat({}, payload, c.sent));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SendMessageAnswers,
    testing::Values(
        AnswerCase{"EqualToAnnounced", 68, -1, false, 0, 68,
                   "\n Enviando m.gsm tamanho 68 /\b/\b\\\b/\b\\"},
        AnswerCase{"AboveAnnounced", 34, -1, true, 1000, 34, "\n Enviando m.gsm tamanho 1000 /\b/\b\\"},
        AnswerCase{"BelowAnnounced", 68, 32, false, 0, 32, "\n Enviando m.gsm tamanho 32 /\b/\b\\"},
        AnswerCase{"OddBelowAnnounced", 68, 33, false, 0, 34, "\n Enviando m.gsm tamanho 33 /\b/\b\\"},
        AnswerCase{"Zero", 68, 0, false, 0, 0, "\n Enviando m.gsm tamanho 0 /"},
        AnswerCase{"OddOfAnOddPayload", 33, 33, false, 0, 34, "\n Enviando m.gsm tamanho 33 /\b/\b\\"}),
    [](const testing::TestParamInfo<AnswerCase>& param_info) { return param_info.param.name; });

TEST_F(SendMessage, MissingLengthAnswerIsTakenFromTheReceiveBuffer)
{
    SimBoard& board = sim_world().board;
    board.faults.no_length_answer = true;
    board.upload_patience_us = 10'000'000;  // the board waits out the host's read time-out
    const Bytes payload = pattern(34);
    const CapturedRun run = send(payload, 34, FileKind::GSM, 1);
    EXPECT_EQ(run.result, UPLOAD_OK);
    // The format echo, then three bytes that no read has filled.
    const std::int32_t r = (3 << 24) | 0xFEFEFE;
    EXPECT_GE(r, 1 << 24);
    EXPECT_EQ(run.output, "\n Enviando m.gsm tamanho " + std::to_string(r) + " /\b/\b\\");
    EXPECT_EQ(sim_written(), concat(header(1, FORMAT_GSM, 34), payload, 34));
    EXPECT_EQ(sim_world().now_us, 1'000'000u) << "one read time-out";
}

TEST_F(SendMessage, MissingLengthAnswerWithASilentBoardFailsAtTheFirstEcho)
{
    sim_world().board.faults.no_length_answer = true;
    const CapturedRun run = send(Bytes(35, 0), 34);
    EXPECT_EQ(run.result, UPLOAD_LINK_FAILED);
    const std::int32_t r = (3 << 24) | 0xF8F8F8;
    EXPECT_EQ(run.output,
              "\n Enviando m.gsm tamanho " + std::to_string(r) + " /\b/\nNao recebeu eco 0  0");
}

TEST_F(SendMessage, NegativeLengthAnswerSendsNoPayload)
{
    sim_world().board.faults.fixed_length_answer = true;
    sim_world().board.faults.length_answer = -2;
    const CapturedRun run = send(pattern(34), 34);
    EXPECT_EQ(run.result, UPLOAD_HEADER_FAILED);
    EXPECT_EQ(run.output, "\nTamanho recusado pela placa -2");
    EXPECT_EQ(sim_written(), header(7, FORMAT_GSM, 34));
    EXPECT_EQ(counts(SimOp::Read), (std::vector<std::int64_t>{1, 1, 4}));
    EXPECT_TRUE(sim_world().board.messages.empty());
}

TEST_F(SendMessage, LongestPayloadsAreAnnouncedWithoutOverflow)
{
    // The board takes only what the small buffer holds, so the announced
    // lengths can be tried without allocating them.
    sim_world().board.capacity = 32;
    const Bytes payload = pattern(32);
    for (const std::int32_t n : {INT32_MAX, INT32_MAX - 1}) {
        sim_world().calls.clear();
        const CapturedRun run = send(payload, n);
        EXPECT_EQ(run.result, UPLOAD_OK) << n;
        EXPECT_EQ(run.output, "\n Enviando m.gsm tamanho 32 /\b/\b\\") << n;
        const auto announced = static_cast<std::uint32_t>(std::int64_t{n} + (n & 1));
        EXPECT_EQ(sim_written(), concat(header(7, FORMAT_GSM, announced), payload, 32)) << n;
    }
}

struct EchoCase {
    const char* name;
    FileKind kind;
    std::int32_t n;
    void (*arrange)();
    int result;
    const char* printed;  // after the progress line
    std::size_t sent;     // payload bytes written successfully
    std::uint64_t waited_us;
};

void PrintTo(const EchoCase& c, std::ostream* os)
{
    *os << c.name;
}

class SendMessageEchoes : public SendMessage, public testing::WithParamInterface<EchoCase> {};

TEST_P(SendMessageEchoes, StopsAtTheFirstBadEcho)
{
    const EchoCase& c = GetParam();
    c.arrange();
    const Bytes payload = pattern(static_cast<std::size_t>(c.n));
    const CapturedRun run = send(payload, c.n, c.kind);
    EXPECT_EQ(run.result, c.result);
    const std::string progress = "\n Enviando m.gsm tamanho " + std::to_string(c.n + (c.n & 1)) + " /";
    ASSERT_EQ(run.output.substr(0, progress.size()), progress);
    const std::string after = run.output.substr(progress.size());
    EXPECT_EQ(after.substr(after.find('\n') == std::string::npos ? after.size() : after.find('\n')),
              c.printed);
    EXPECT_EQ(sim_written(), concat(header(7, FORMAT_GSM, static_cast<std::uint32_t>(c.n + (c.n & 1))),
                                    payload, c.sent));
    EXPECT_EQ(sim_world().now_us, c.waited_us);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SendMessageEchoes,
    testing::Values(
        EchoCase{"ChangedByteInThirdBlock", FileKind::GSM, 50,
                 [] {
                     sim_world().board.faults.change_echo_at = 37;
                     sim_world().board.faults.changed_echo = 0;
                 },
                 UPLOAD_ECHO_DIFFERED, "\nEnviou 43 recebeu 0 ", 48, 0},
        EchoCase{"InvertedFirstByte", FileKind::WAV, 16,
                 [] { sim_world().board.faults.change_echo_at = 0; },
                 UPLOAD_ECHO_DIFFERED, "\nEnviou 40 recebeu bf ", 16, 0},
        EchoCase{"FifteenByteBlockEcho", FileKind::GSM, 34,
                 [] { sim_world().board.faults.stop_echo_at = 15; },
                 UPLOAD_LINK_FAILED, "\nNao recebeu eco 0  15", 16, 1'000'000},
        EchoCase{"OneEchoByteLost", FileKind::GSM, 34,
                 [] { sim_world().board.faults.drop_echo_at = 20; },
                 UPLOAD_LINK_FAILED, "\nNao recebeu eco 0  15", 32, 1'000'000},
        EchoCase{"SilentBoard", FileKind::WAV, 34,
                 [] { sim_world().board.faults.stop_echo_at = 0; },
                 UPLOAD_LINK_FAILED, "\nNao recebeu eco 0  0", 16, 1'000'000},
        EchoCase{"BlockReadFails", FileKind::GSM, 34,
                 [] { sim_fail(SimOp::Read, DRV_IO_ERROR, 3, 1); },
                 UPLOAD_LINK_FAILED, "\nNao recebeu eco 4  0", 16, 0},
        EchoCase{"GsmBlockWriteFails", FileKind::GSM, 34,
                 [] { sim_fail(SimOp::Write, DRV_IO_ERROR, 5, 1); },
                 UPLOAD_LINK_FAILED, "\nNao conseguiu enviar", 16, 0},
        EchoCase{"WavBlockWriteFails", FileKind::WAV, 34,
                 [] { sim_fail(SimOp::Write, DRV_IO_ERROR, 4, 1); },
                 UPLOAD_LINK_FAILED, "\nNao conseguiu enviar amostra", 0, 0},
        EchoCase{"WavTailWriteFails", FileKind::WAV, 34,
                 [] { sim_fail(SimOp::Write, DRV_IO_ERROR, 6, 1); },
                 UPLOAD_LINK_FAILED, "\nNao conseguiu enviar", 32, 0},
        EchoCase{"ShortTailEcho", FileKind::GSM, 15,
                 [] { sim_world().board.faults.stop_echo_at = 8; },
                 UPLOAD_LINK_FAILED, "\nNao recebeu eco", 16, 1'000'000},
        EchoCase{"TailReadFails", FileKind::GSM, 34,
                 [] { sim_fail(SimOp::Read, DRV_IO_ERROR, 5, 1); },
                 UPLOAD_LINK_FAILED, "\nNao recebeu eco", 34, 0},
        EchoCase{"ChangedTailByte", FileKind::GSM, 33,
                 [] { sim_world().board.faults.change_echo_at = 33; },
                 UPLOAD_ECHO_DIFFERED, "\nEnviou 27 recebeu d8 ", 34, 0}),
    [](const testing::TestParamInfo<EchoCase>& param_info) { return param_info.param.name; });

struct HeaderCase {
    const char* name;
    FileKind kind;
    int number;
    std::uint8_t format;
    void (*arrange)();
    int result;
    const char* printed;
    std::size_t written;  // header bytes written
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class SendMessageHeader : public SendMessage, public testing::WithParamInterface<HeaderCase> {};

TEST_P(SendMessageHeader, ChecksTheNumberAndFormatEchoes)
{
    const HeaderCase& c = GetParam();
    c.arrange();
    const Bytes payload = pattern(16);
    const CapturedRun run = send(payload, 16, c.kind, c.number, c.format);
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.output.substr(0, std::string(c.printed).size()), c.printed);
    if (c.result != UPLOAD_OK) {
        EXPECT_EQ(run.output, c.printed);
        const Bytes full = header(static_cast<std::uint8_t>(c.number), c.format, 16);
        EXPECT_EQ(sim_written(), Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.written)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Echoes, SendMessageHeader,
    testing::Values(
        HeaderCase{"GsmWrongNumber", FileKind::GSM, 7, FORMAT_GSM,
                   [] { sim_world().board.faults.number_echo = 9; },
                   UPLOAD_HEADER_FAILED, "\nMensagem 9", 4},
        HeaderCase{"WavWrongNumber", FileKind::WAV, 7, FORMAT_ALAW,
                   [] { sim_world().board.faults.number_echo = 9; },
                   UPLOAD_HEADER_FAILED, "\nErro escrevendo o numero da mensagem 9 != 7 ", 4},
        HeaderCase{"GsmMissingNumber", FileKind::GSM, 7, FORMAT_GSM,
                   [] { sim_world().board.faults.no_number_echo = true; },
                   UPLOAD_HEADER_FAILED, "\nMensagem 248", 4},
        HeaderCase{"WavMissingNumber", FileKind::WAV, 7, FORMAT_ALAW,
                   [] { sim_world().board.faults.no_number_echo = true; },
                   UPLOAD_HEADER_FAILED, "\nErro escrevendo o numero da mensagem 248 != 7 ", 4},
        HeaderCase{"GsmNumberReadFails", FileKind::GSM, 0, FORMAT_GSM,
                   [] { sim_fail(SimOp::Read, DRV_IO_ERROR, 0, 1); },
                   UPLOAD_HEADER_FAILED, "\nMensagem 255", 4},
        HeaderCase{"WavNumberReadFails", FileKind::WAV, 0, FORMAT_MULAW,
                   [] { sim_fail(SimOp::Read, DRV_IO_ERROR, 0, 1); },
                   UPLOAD_HEADER_FAILED,
                   "\nErro escrevendo o numero da mensagem 255 != 0 "
                   "\nFalha na comunicacao USB - verifique a instalacao", 4},
        HeaderCase{"GsmWrongFormat", FileKind::GSM, 7, FORMAT_GSM,
                   [] { sim_world().board.faults.format_echo = 1; },
                   UPLOAD_HEADER_FAILED, "\nFormato 1", 5},
        HeaderCase{"WavWrongFormat", FileKind::WAV, 7, FORMAT_ALAW,
                   [] { sim_world().board.faults.format_echo = 3; },
                   UPLOAD_HEADER_FAILED, "\nErro recebendo formato da mensagem 3 != 1", 5},
        HeaderCase{"GsmFormatReadFails", FileKind::GSM, 7, FORMAT_GSM,
                   [] { sim_fail(SimOp::Read, DRV_IO_ERROR, 1, 1); },
                   UPLOAD_HEADER_FAILED, "\nFormato 7", 5},
        HeaderCase{"WavFormatReadFails", FileKind::WAV, 7, FORMAT_ALAW,
                   [] { sim_fail(SimOp::Read, DRV_IO_ERROR, 1, 1); },
                   UPLOAD_HEADER_FAILED,
                   "\nErro recebendo formato da mensagem 7 != 1"
                   "\nFalha na comunicacao USB - verifique a instalacao", 5},
        HeaderCase{"WavMissingFormat", FileKind::WAV, 7, FORMAT_ALAW,
                   [] { sim_world().board.faults.no_format_echo = true; },
                   UPLOAD_HEADER_FAILED, "\nErro recebendo formato da mensagem 7 != 1", 5},
        HeaderCase{"GsmMissingFormatEqualToNumber", FileKind::GSM, 3, FORMAT_GSM,
                   [] {
                       sim_world().board.faults.no_format_echo = true;
                       sim_world().board.upload_patience_us = 10'000'000;
                   },
                   UPLOAD_OK, "\n Enviando m.gsm tamanho 16 /\b/", 9},
        HeaderCase{"WavMissingFormatEqualToNumber", FileKind::WAV, 2, FORMAT_MULAW,
                   [] {
                       sim_world().board.faults.no_format_echo = true;
                       sim_world().board.upload_patience_us = 10'000'000;
                   },
                   UPLOAD_OK, "\n Enviando m.gsm tamanho 16 /\b/", 9}),
    [](const testing::TestParamInfo<HeaderCase>& param_info) { return param_info.param.name; });

}  // namespace
