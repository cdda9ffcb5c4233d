#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "link/board_link.h"
#include "sim/sim_world.h"
#include "tests/test_support.h"
#include "upload/alaw.h"
#include "upload/upload.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A small RIFF/WAVE builder: every number little-endian, odd chunks padded.
std::string le16(unsigned value)
{
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string le32(std::uint32_t value)
{
    return le16(value & 0xFFFF) + le16(value >> 16);
}

std::string chunk(const std::string& id, const std::string& data)
{
    std::string bytes = id + le32(static_cast<std::uint32_t>(data.size())) + data;
    if (data.size() % 2 != 0)
        bytes += '\0';
    return bytes;
}

// A chunk header whose size says something else than the data that follows.
std::string chunk_claiming(const std::string& id, std::uint32_t size, const std::string& data = "")
{
    return id + le32(size) + data;
}

std::string fmt_chunk(unsigned tag = 1, unsigned channels = 1, unsigned block_align = 2,
                      unsigned bits_per_sample = 16, std::uint32_t sample_rate = 8000,
                      const std::string& extra = "")
{
    return chunk("fmt ", le16(tag) + le16(channels) + le32(sample_rate) + le32(sample_rate * block_align) +
                             le16(block_align) + le16(bits_per_sample) + extra);
}

std::string wav(const std::string& chunks, const std::string& riff = "RIFF")
{
    return riff + le32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

std::string pcm_data(const std::vector<int>& samples)
{
    std::string bytes;
    for (int sample : samples)
        bytes += le16(static_cast<unsigned>(sample) & 0xFFFF);
    return bytes;
}

std::string byte_run(int count, int first = 0x20)
{
    std::string bytes;
    for (int i = 0; i < count; ++i)
        bytes += static_cast<char>(first + i);
    return bytes;
}

// Nineteen samples whose A-law bytes all differ.
std::vector<int> nineteen_samples()
{
    std::vector<int> samples;
    for (int i = 0; i < 19; ++i)
        samples.push_back((i % 2 != 0 ? -1 : 1) * (500 + 1500 * i));
    return samples;
}

std::uint8_t alaw(int sample)
{
    return linear_to_alaw(static_cast<std::int16_t>(sample));
}

// The 20 bytes the board stores for nineteen_samples(): sixteen zeros, the
// pair a17 a16, then the pad byte and a18 exchanged.
Bytes nineteen_payload()
{
    const std::vector<int> s = nineteen_samples();
    Bytes payload(16, 0);
    payload.insert(payload.end(), {alaw(s[17]), alaw(s[16]), 0x00, alaw(s[18])});
    return payload;
}

std::string nineteen_pcm()
{
    return pcm_data(nineteen_samples());
}

struct UploadRun {
    std::string output;
    int result = -1;
    std::vector<SimCall> calls;   // driver calls made by the uploader
    std::size_t descriptors_open = 0;      // before the upload
    std::size_t descriptors_at_store = 0;  // when the board stored the message
};

constexpr int NUMBER = 7;

// Uploads one file to a freshly opened simulated board.
UploadRun upload(const std::string& name, int number = NUMBER)
{
    UploadRun run;
    const std::size_t descriptors_before = open_descriptors();
    const CapturedRun captured = run_with_terminal("", [&] {
        BoardLink link;
        if (open_board(link) != 0)
            return -1;
        sim_world().calls.clear();
        run.descriptors_open = open_descriptors();
        sim_world().board.on_store = [&](int, const SimMessage&) {
            run.descriptors_at_store = open_descriptors();
        };
        const int result = upload_wav_file(link, name.c_str(), number);
        sim_world().board.on_store = nullptr;
        run.calls = sim_world().calls;
        close_board(link);
        return result;
    });
    run.output = captured.output;
    run.result = captured.result;
    EXPECT_EQ(open_descriptors(), descriptors_before) << "a descriptor was left open";
    return run;
}

class WavUpload : public testing::Test {
protected:
    void SetUp() override { sim_reset(); }
    ScratchDir dir;
};

std::string opened(const std::string& name)
{
    return "\nAbriu arquivo \"" + name + "\"";
}

TEST_F(WavUpload, LinearPcmWorkedExample)
{
    dir.write("voz.wav", wav(fmt_chunk() + chunk("data", nineteen_pcm())));
    const UploadRun run = upload("voz.wav");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, opened("voz.wav") +
                              "\nFormato PCM Linear mono 16 bits "
                              "\n Enviando voz.wav tamanho 20 (PCM 16 bits) /\b/");
    const SimMessage& stored = sim_world().board.messages.at(NUMBER);
    EXPECT_EQ(stored.format, 1);
    EXPECT_EQ(stored.payload, nineteen_payload());
    // Header: marker, number, format, announced length 20, then the payload.
    Bytes expected = {0x3E, 0x3E, 0x3E, NUMBER, 1, 0, 0, 0, 20};
    const Bytes payload = nineteen_payload();
    expected.insert(expected.end(), payload.begin(), payload.end());
    EXPECT_EQ(sim_written(), expected);
    EXPECT_EQ(run.descriptors_at_store, run.descriptors_open) << "the file was still open";
}

TEST_F(WavUpload, AlawWorkedExample)
{
    const std::string data = byte_run(41);  // d0..d40, d40 never read
    dir.write("alaw.wav", wav(fmt_chunk(6, 1, 1, 8) +
                              chunk("data", data)));
    const UploadRun run = upload("alaw.wav");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, opened("alaw.wav") +
                              "\nFormato CCITT mono "
                              "\n Enviando alaw.wav tamanho 40 (PCM lei-a) /\b/\b\\");
    Bytes expected(16, 0);
    for (int j = 16; j < 40; j += 2)
        expected.insert(expected.end(), {static_cast<std::uint8_t>(data[j + 1]),
                                         static_cast<std::uint8_t>(data[j])});
    const SimMessage& stored = sim_world().board.messages.at(NUMBER);
    EXPECT_EQ(stored.format, 1);
    EXPECT_EQ(stored.payload, expected);
    const Bytes written = sim_written();
    ASSERT_GE(written.size(), 9u);
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 9), (Bytes{0x3E, 0x3E, 0x3E, NUMBER, 1, 0, 0, 0, 40}));
    EXPECT_EQ(written.size(), 9u + 40u);
}

TEST_F(WavUpload, MulawTravelsWithFormatTwoAndItsLabel)
{
    const std::string data = byte_run(20);
    dir.write("mulaw.wav", wav(fmt_chunk(7, 1, 1, 8) +
                               chunk("data", data)));
    const UploadRun run = upload("mulaw.wav", 300);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, opened("mulaw.wav") +
                              "\nFormato CCITT mono "
                              "\n Enviando mulaw.wav tamanho 20 (PCM lei-u) /\b/");
    Bytes expected(16, 0);
    expected.insert(expected.end(), {static_cast<std::uint8_t>(data[17]), static_cast<std::uint8_t>(data[16]),
                                     static_cast<std::uint8_t>(data[19]), static_cast<std::uint8_t>(data[18])});
    const SimMessage& stored = sim_world().board.messages.at(300 & 0xFF);
    EXPECT_EQ(stored.format, 2);
    EXPECT_EQ(stored.payload, expected);
}

// Layouts that must all reach the same nineteen samples and the same payload.
struct LayoutCase {
    const char* name;
    std::string file;
};

void PrintTo(const LayoutCase& c, std::ostream* os)
{
    *os << c.name;
}

class AcceptedLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(AcceptedLayout, GivesTheWorkedExamplePayload)
{
    sim_reset();
    ScratchDir dir;
    dir.write("m.wav", GetParam().file);
    const UploadRun run = upload("m.wav");
    ASSERT_EQ(run.result, 0) << run.output;
    EXPECT_EQ(run.output, opened("m.wav") +
                              "\nFormato PCM Linear mono 16 bits "
                              "\n Enviando m.wav tamanho 20 (PCM 16 bits) /\b/");
    EXPECT_EQ(sim_world().board.messages.at(NUMBER).payload, nineteen_payload());
}

const std::string DATA19 = chunk("data", nineteen_pcm());

INSTANTIATE_TEST_SUITE_P(
    Cases, AcceptedLayout,
    testing::Values(
        // 2 bytes skipped after the 16 read: the extension size.
        LayoutCase{"Fmt18", wav(fmt_chunk(1, 1, 2, 16, 8000, le16(0)) + DATA19)},
        // 1 byte of data and the pad byte skipped.
        LayoutCase{"Fmt17", wav(fmt_chunk(1, 1, 2, 16, 8000, "x") + DATA19)},
        LayoutCase{"Fact4", wav(fmt_chunk() + chunk("fact", le32(19)) + DATA19)},
        LayoutCase{"Fact5", wav(chunk("fact", "abcde") + fmt_chunk() + DATA19)},
        LayoutCase{"FactBetweenTwoFmts", wav(fmt_chunk() + chunk("fact", "abc") + fmt_chunk() + DATA19)},
        LayoutCase{"SecondFmtDecides", wav(fmt_chunk(3, 2, 8) +
                                           fmt_chunk() + DATA19)},
        LayoutCase{"Rifx", wav(fmt_chunk() + DATA19, "RIFX")},
        LayoutCase{"AnyFirstBytes", wav(fmt_chunk() + DATA19, std::string("\xFF\0zz", 4))},
        LayoutCase{"Rate44100", wav(fmt_chunk(1, 1, 2, 16, 44100) + DATA19)},
        LayoutCase{"Rate1", wav(fmt_chunk(1, 1, 2, 16, 1) + DATA19)},
        LayoutCase{"RateZero", wav(fmt_chunk(1, 1, 2, 16, 0) + DATA19)},
        LayoutCase{"BitsPerSample8", wav(fmt_chunk(1, 1, 2, 8) + DATA19)},
        LayoutCase{"BitsPerSample24", wav(fmt_chunk(1, 1, 2, 24) + DATA19)},
        LayoutCase{"ListAfterData", wav(fmt_chunk() + DATA19 + chunk("LIST", "INFOjunk"))},
        LayoutCase{"GarbageAfterData", wav(fmt_chunk() + DATA19 + "\x01\x02")},
        // The odd byte never forms a sample.
        LayoutCase{"OddDataSize", wav(fmt_chunk() + chunk("data", nineteen_pcm() + "\x7F"))}),
    [](const testing::TestParamInfo<LayoutCase>& param_info) { return param_info.param.name; });

TEST_F(WavUpload, LinearDataPastTheEndOfTheFileEncodesAsSilence)
{
    // The chunk claims 32 samples; the file holds 20.
    std::vector<int> samples;
    for (int i = 0; i < 20; ++i)
        samples.push_back(1000 + 700 * i);
    dir.write("short.wav", wav(fmt_chunk() + chunk_claiming("data", 64, pcm_data(samples))));
    const UploadRun run = upload("short.wav");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, opened("short.wav") +
                              "\nFormato PCM Linear mono 16 bits "
                              "\n Enviando short.wav tamanho 32 (PCM 16 bits) /\b/\b\\");
    Bytes expected(16, 0);
    expected.insert(expected.end(), {alaw(samples[17]), alaw(samples[16]), alaw(samples[19]), alaw(samples[18])});
    expected.insert(expected.end(), 12, 0xD5);
    EXPECT_EQ(sim_world().board.messages.at(NUMBER).payload, expected);
}

struct SmallCase {
    const char* name;
    std::string file;
    const char* middle;  // the uploader's own line after the file name
    int announced;
    const char* spinner;
};

void PrintTo(const SmallCase& c, std::ostream* os)
{
    *os << c.name;
}

class SmallPayload : public testing::TestWithParam<SmallCase> {};

TEST_P(SmallPayload, TravelsAsZeros)
{
    const SmallCase& c = GetParam();
    sim_reset();
    ScratchDir dir;
    dir.write("s.wav", c.file);
    const UploadRun run = upload("s.wav");
    EXPECT_EQ(run.result, 0);
    const char* label = std::string(c.middle).find("PCM") != std::string::npos ? "(PCM 16 bits) " : "(PCM lei-a) ";
    EXPECT_EQ(run.output, opened("s.wav") + c.middle + "\n Enviando s.wav tamanho " + std::to_string(c.announced) +
                              " " + label + c.spinner);
    EXPECT_EQ(sim_world().board.messages.at(NUMBER).payload, Bytes(static_cast<std::size_t>(c.announced), 0));
    const Bytes written = sim_written();
    ASSERT_GE(written.size(), 9u);
    EXPECT_EQ(written[8], c.announced);
}

const char* const PCM_LINE = "\nFormato PCM Linear mono 16 bits ";
const char* const CCITT_LINE = "\nFormato CCITT mono ";
const std::string ALAW_FMT = fmt_chunk(6, 1, 1, 8);

INSTANTIATE_TEST_SUITE_P(
    Cases, SmallPayload,
    testing::Values(
        SmallCase{"EmptyPcm", wav(fmt_chunk() + chunk("data", "")), PCM_LINE, 0, "/"},
        SmallCase{"EmptyAlaw", wav(ALAW_FMT + chunk("data", "")), CCITT_LINE, 0, "/"},
        SmallCase{"OneSampleOfSilence", wav(fmt_chunk() + chunk("data", pcm_data({0}))), PCM_LINE, 2, "/"},
        SmallCase{"OneLoudSample", wav(fmt_chunk() + chunk("data", pcm_data({30000}))), PCM_LINE, 2, "/"},
        SmallCase{"EightPcmSamples", wav(fmt_chunk() + chunk("data", pcm_data({9, 900, -900, 30000, 5, 6, 7, 8}))),
                  PCM_LINE, 8, "/"},
        // N = 15: the pad byte at index 15 travels and is zero too.
        SmallCase{"FifteenPcmSamples",
                  wav(fmt_chunk() + chunk("data", pcm_data({1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000,
                                                               10000, 11000, 12000, 13000, 14000, 15000}))),
                  PCM_LINE, 16, "/"},
        SmallCase{"SixteenAlawBytes", wav(ALAW_FMT + chunk("data", byte_run(16))), CCITT_LINE, 16, "/\b/"},
        SmallCase{"AlawOddSizeOne", wav(ALAW_FMT + chunk("data", "\x33")), CCITT_LINE, 0, "/"}),
    [](const testing::TestParamInfo<SmallCase>& param_info) { return param_info.param.name; });

// Every refusal: its lines after the file name, result 2, and the board never
// touched.
struct RefusalCase {
    const char* name;
    std::string file;
    const char* printed;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class Refused : public testing::TestWithParam<RefusalCase> {};

TEST_P(Refused, PrintsItsLinesAndLeavesTheBoardAlone)
{
    const RefusalCase& c = GetParam();
    sim_reset();
    ScratchDir dir;
    dir.write("r.wav", c.file);
    const UploadRun run = upload("r.wav");
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(run.output, opened("r.wav") + c.printed);
    EXPECT_TRUE(run.calls.empty()) << run.calls.size() << " driver calls";
    EXPECT_TRUE(sim_world().board.messages.empty());
}

const std::string PCM_FMT = fmt_chunk();
const std::string STEREO_PCM_FMT = fmt_chunk(1, 2, 4);

INSTANTIATE_TEST_SUITE_P(
    Cases, Refused,
    testing::Values(
        RefusalCase{"NotWave", "RIFF" + le32(40) + "WAVX" + PCM_FMT + DATA19, "\nFormato invalido"},
        RefusalCase{"WaveInLowercase", "RIFF" + le32(40) + "wave" + PCM_FMT + DATA19, "\nFormato invalido"},
        RefusalCase{"ElevenBytes", std::string("RIFF\0\0\0\0WAV", 11), "\nFormato invalido"},
        RefusalCase{"EmptyFile", "", "\nFormato invalido"},
        RefusalCase{"ListBeforeData", wav(PCM_FMT + chunk("LIST", "INFOjunk") + DATA19), "\nChunk desconhecido"},
        RefusalCase{"ListFirst", wav(chunk("LIST", "INFO") + PCM_FMT + DATA19), "\nChunk desconhecido"},
        RefusalCase{"FmtInCapitals", wav(chunk("FMT ", PCM_FMT.substr(8)) + DATA19), "\nChunk desconhecido"},
        RefusalCase{"DataInCapitals", wav(PCM_FMT + chunk("DATA", nineteen_pcm())), "\nChunk desconhecido"},
        // A 17-byte "fmt " read without its pad byte would land here.
        RefusalCase{"Fmt17WithoutPad", wav(chunk_claiming("fmt ", 17, PCM_FMT.substr(8, 16) + "x") + DATA19),
                    "\nChunk desconhecido"},
        RefusalCase{"FloatTag", wav(fmt_chunk(3, 1, 4, 32) + DATA19),
                    "\nFormato invalido"},
        RefusalCase{"TagZero", wav(fmt_chunk(0) + DATA19), "\nFormato invalido"},
        RefusalCase{"ExtensibleTag", wav(fmt_chunk(0xFFFE) + DATA19), "\nFormato invalido"},
        RefusalCase{"DataBeforeFmt", wav(DATA19 + PCM_FMT), "\nFormato invalido"},
        RefusalCase{"OnlyData", wav(DATA19), "\nFormato invalido"},
        RefusalCase{"SecondFmtRefused", wav(PCM_FMT + fmt_chunk(2) + DATA19), "\nFormato invalido"},
        RefusalCase{"FmtOf14Bytes", wav(chunk("fmt ", PCM_FMT.substr(8, 14)) + DATA19), "\nChunk de formato curto"},
        RefusalCase{"FmtOf0Bytes", wav(chunk("fmt ", "") + PCM_FMT + DATA19), "\nChunk de formato curto"},
        RefusalCase{"NoChunks", wav(""), "\nArquivo incompleto"},
        RefusalCase{"EndsInChunkHeader", wav(PCM_FMT + "data\x26"), "\nArquivo incompleto"},
        RefusalCase{"EndsBeforeData", wav(PCM_FMT), "\nArquivo incompleto"},
        RefusalCase{"EndsInFmt", wav(PCM_FMT.substr(0, 18)), "\nArquivo incompleto"},
        RefusalCase{"EndsInFmtExtension", wav(chunk_claiming("fmt ", 18, PCM_FMT.substr(8, 16) + std::string(1, '\0'))),
                    "\nArquivo incompleto"},
        RefusalCase{"FactPastTheEnd", wav(PCM_FMT + chunk_claiming("fact", 100, le32(19)) + DATA19),
                    "\nArquivo incompleto"},
        RefusalCase{"FactOf4GiB", wav(PCM_FMT + chunk_claiming("fact", 0xFFFFFFFF, le32(19)) + DATA19),
                    "\nArquivo incompleto"},
        RefusalCase{"FmtOf4GiB", wav(chunk_claiming("fmt ", 0xFFFFFFFF, PCM_FMT.substr(8, 16)) + DATA19),
                    "\nArquivo incompleto"},
        RefusalCase{"Fact5WithoutPad", wav(PCM_FMT + chunk_claiming("fact", 5, "abcde")), "\nArquivo incompleto"},
        RefusalCase{"StereoPcm", wav(STEREO_PCM_FMT + DATA19), "\nFormato PCM Linear \nNao eh mono"},
        RefusalCase{"EightBitPcm", wav(fmt_chunk(1, 1, 1, 8) + DATA19),
                    "\nFormato PCM Linear mono \nNao eh 16 bits"},
        RefusalCase{"MonoBlockAlign4", wav(fmt_chunk(1, 1, 4) + DATA19),
                    "\nFormato PCM Linear mono \nNao eh 16 bits"},
        RefusalCase{"MonoBlockAlign0", wav(fmt_chunk(1, 1, 0) + DATA19),
                    "\nFormato PCM Linear mono \nNao eh 16 bits"},
        RefusalCase{"StereoBlockAlign0", wav(fmt_chunk(1, 2, 0) + DATA19),
                    "\nFormato PCM Linear \nNao eh mono"},
        RefusalCase{"NoChannels", wav(fmt_chunk(1, 0) + DATA19), "\nFormato PCM Linear \nNao eh mono"},
        RefusalCase{"StereoPcmPastTheEnd", wav(STEREO_PCM_FMT + chunk_claiming("data", 4000, nineteen_pcm())),
                    "\nFormato PCM Linear \nNao eh mono"},
        RefusalCase{"ShortAlaw", wav(ALAW_FMT + chunk_claiming("data", 42, byte_run(41))),
                    "\nFormato CCITT \nTamanho com erro"},
        RefusalCase{"AlawDataHeaderOnly", wav(ALAW_FMT + chunk_claiming("data", 2)),
                    "\nFormato CCITT \nTamanho com erro"},
        RefusalCase{"StereoAlaw", wav(fmt_chunk(6, 2) + chunk("data", byte_run(40))),
                    "\nFormato CCITT \nNao eh mono"},
        RefusalCase{"StereoMulaw", wav(fmt_chunk(7, 2) + chunk("data", byte_run(40))),
                    "\nFormato CCITT \nNao eh mono"},
        // The length test comes before the channel test.
        RefusalCase{"ShortStereoMulaw", wav(fmt_chunk(7, 2) + chunk_claiming("data", 40, "ab")),
                    "\nFormato CCITT \nTamanho com erro"},
        // Payloads too long for the transaction's length are never allocated.
        RefusalCase{"Pcm4GiB", wav(PCM_FMT + chunk_claiming("data", 0xFFFFFFFF, nineteen_pcm())),
                    "\nFormato PCM Linear \nNao conseguiu alocar"},
        RefusalCase{"StereoPcm4GiB", wav(STEREO_PCM_FMT + chunk_claiming("data", 0xFFFFFFFE, nineteen_pcm())),
                    "\nFormato PCM Linear \nNao conseguiu alocar"},
        RefusalCase{"Alaw4GiB", wav(ALAW_FMT + chunk_claiming("data", 0xFFFFFFFF, byte_run(40))),
                    "\nFormato CCITT \nNao conseguiu alocar"},
        RefusalCase{"Alaw2GiB", wav(ALAW_FMT + chunk_claiming("data", 0x80000000, byte_run(40))),
                    "\nFormato CCITT \nNao conseguiu alocar"}),
    [](const testing::TestParamInfo<RefusalCase>& param_info) { return param_info.param.name; });

TEST_F(WavUpload, MissingFileIsResultOne)
{
    const UploadRun run = upload("nada.wav");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.output, "\nNao consegui abrir arquivo \"nada.wav\"");
    EXPECT_TRUE(run.calls.empty());
}

TEST_F(WavUpload, DirectoryIsNoMessageFile)
{
    std::filesystem::create_directory("pasta.wav");
    const UploadRun run = upload("pasta.wav");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.output, "\nNao consegui abrir arquivo \"pasta.wav\"");
    EXPECT_TRUE(run.calls.empty());
}

TEST_F(WavUpload, FileNameIsUsedAsGiven)
{
    dir.write(" Voz 1.WAV ", wav(fmt_chunk() + DATA19));
    EXPECT_EQ(upload("voz 1.wav").result, 1);
    const UploadRun run = upload(" Voz 1.WAV ");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output.substr(0, opened(" Voz 1.WAV ").size()), opened(" Voz 1.WAV "));
}

// The largest claims that fit the transaction, over more data than a buffer
// of a wrapped size would hold: the buffer is obtained or not, and either way
// the file is refused without a crash.
TEST_F(WavUpload, LargestClaimsAreRefusedWithoutWrapping)
{
    struct Case {
        std::string file;
        const char* heading;
        const char* refusal;
    };
    const std::string data(512, '\x11');
    const Case cases[] = {
        {wav(ALAW_FMT + chunk_claiming("data", 0x7FFFFFFE, data)), "\nFormato CCITT ", "\nTamanho com erro"},
        {wav(STEREO_PCM_FMT + chunk_claiming("data", 0xFFFFFFFC, data)), "\nFormato PCM Linear ", "\nNao eh mono"},
    };
    for (const Case& c : cases) {
        sim_reset();
        dir.write("big.wav", c.file);
        const UploadRun run = upload("big.wav");
        EXPECT_EQ(run.result, 2);
        const std::string head = opened("big.wav") + c.heading;
        EXPECT_TRUE(run.output == head + c.refusal || run.output == head + "\nNao conseguiu alocar") << run.output;
        EXPECT_TRUE(run.calls.empty());
    }
}

TEST_F(WavUpload, TransactionFailuresAreReturnedAsTheyCame)
{
    dir.write("voz.wav", wav(fmt_chunk() + DATA19));
    struct Case {
        const char* name;
        int number_echo;
        std::int64_t change_echo_at;
        std::int64_t stop_echo_at;
        int result;
    };
    const Case cases[] = {
        {"NumberEcho", 9, -1, -1, 5},
        {"ChangedEcho", -1, 18, -1, 4},
        {"NoEcho", -1, -1, 16, 3},
    };
    for (const Case& c : cases) {
        sim_reset();
        SimUploadFaults& faults = sim_world().board.faults;
        faults.number_echo = c.number_echo;
        faults.change_echo_at = c.change_echo_at;
        faults.stop_echo_at = c.stop_echo_at;
        const UploadRun run = upload("voz.wav");
        EXPECT_EQ(run.result, c.result) << c.name;
        EXPECT_FALSE(run.calls.empty()) << c.name;
    }
}

TEST_F(WavUpload, NothingCarriesOverBetweenUploads)
{
    // A file without a "fmt " chunk after an accepted one is still refused.
    dir.write("good.wav", wav(fmt_chunk() + DATA19));
    dir.write("bare.wav", wav(DATA19));
    EXPECT_EQ(upload("good.wav").result, 0);
    sim_reset();
    EXPECT_EQ(upload("bare.wav").result, 2);
}

}  // namespace
