#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "sim/board_memory.h"
#include "sim/sim_board.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes read_bytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::uint32_t u32(const Bytes& bytes, std::size_t at)
{
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
           std::uint32_t{bytes[at + 2]} << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

std::uint16_t u16(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::string text(const Bytes& bytes, std::size_t at)
{
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

Bytes counting(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

std::set<std::string> names_in(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class BoardMemory : public testing::Test {
protected:
    int open(const std::string& folder = "board")
    {
        return board_memory_open(board, folder, [&](const std::string& line) { reports.push_back(line); });
    }

    void store(int number, std::uint8_t format, const Bytes& payload)
    {
        SimMessage message;
        message.format = format;
        message.payload = payload;
        board.messages[number] = message;
        board.on_store(number, message);
    }

    ScratchDir scratch;
    SimBoard board;
    std::vector<std::string> reports;
};

struct WavCase {
    std::uint8_t format;
    std::uint16_t tag;
};

class BoardMemoryWav : public BoardMemory, public testing::WithParamInterface<WavCase> {};

TEST_P(BoardMemoryWav, KeepsThePayloadAndAPlayableCopy)
{
    ASSERT_EQ(open(), 0);
    const Bytes payload = counting(40);
    store(7, GetParam().format, payload);

    EXPECT_EQ(read_bytes("board/007.bin"), payload);
    const Bytes wav = read_bytes("board/007.wav");
    ASSERT_EQ(wav.size(), 58u + payload.size());
    EXPECT_EQ(text(wav, 0), "RIFF");
    EXPECT_EQ(u32(wav, 4), wav.size() - 8);
    EXPECT_EQ(text(wav, 8), "WAVE");
    EXPECT_EQ(text(wav, 12), "fmt ");
    EXPECT_EQ(u32(wav, 16), 18u);
    EXPECT_EQ(u16(wav, 20), GetParam().tag);
    EXPECT_EQ(u16(wav, 22), 1);      // mono
    EXPECT_EQ(u32(wav, 24), 8000u);  // samples a second
    EXPECT_EQ(u32(wav, 28), 8000u);  // bytes a second
    EXPECT_EQ(u16(wav, 32), 1);      // block align
    EXPECT_EQ(u16(wav, 34), 8);      // bits a sample
    EXPECT_EQ(text(wav, 38), "fact");
    EXPECT_EQ(u32(wav, 46), payload.size());
    EXPECT_EQ(text(wav, 50), "data");
    EXPECT_EQ(u32(wav, 54), payload.size());
    for (std::size_t i = 0; i < payload.size(); ++i)
        EXPECT_EQ(wav[58 + i], payload[i ^ 1]) << "sample " << i;
    EXPECT_TRUE(reports.empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, BoardMemoryWav,
                         testing::Values(WavCase{1, 6}, WavCase{2, 7}),
                         [](const testing::TestParamInfo<WavCase>& param_info) {
                             return param_info.param.format == 1 ? std::string("ALaw") : std::string("MuLaw");
                         });

TEST_F(BoardMemory, GsmCopyHoldsTheFramesWithoutTheRecordsZeroByte)
{
    ASSERT_EQ(open(), 0);
    // Two records and a piece of a third, as a board that takes fewer bytes
    // than announced keeps them.
    const Bytes payload = counting(34 * 2 + 10);
    store(200, 3, payload);
    EXPECT_EQ(read_bytes("board/200.bin"), payload);
    Bytes frames(payload.begin(), payload.begin() + 33);
    frames.insert(frames.end(), payload.begin() + 34, payload.begin() + 67);
    EXPECT_EQ(read_bytes("board/200.gsm"), frames);
}

TEST_F(BoardMemory, NewUploadReplacesTheOldOneAndItsCopy)
{
    ASSERT_EQ(open(), 0);
    store(1, 1, counting(20));
    store(1, 3, counting(34));
    EXPECT_EQ(names_in("board"), (std::set<std::string>{"001.bin", "001.gsm"}));
    store(1, 2, counting(6));
    EXPECT_EQ(names_in("board"), (std::set<std::string>{"001.bin", "001.wav"}));
    EXPECT_EQ(read_bytes("board/001.bin"), counting(6));
    store(1, 9, counting(4));
    EXPECT_EQ(names_in("board"), (std::set<std::string>{"001.bin"}));
}

TEST_F(BoardMemory, FolderIsCreatedOnlyWhenAMessageIsStored)
{
    ASSERT_EQ(open("deep/board"), 0);
    EXPECT_FALSE(fs::exists("deep"));
    store(0, 3, Bytes(34, 0));
    EXPECT_TRUE(fs::exists("deep/board/000.bin"));
}

TEST_F(BoardMemory, EraseRemovesEveryMessageAndNothingElse)
{
    ASSERT_EQ(open(), 0);
    store(1, 1, counting(20));
    store(255, 3, counting(34));
    scratch.write("board/notes.txt", "mine");
    scratch.write("board/1000.bin", "not a message");
    board.on_erase();
    EXPECT_EQ(names_in("board"), (std::set<std::string>{"notes.txt", "1000.bin"}));
}

TEST_F(BoardMemory, OpenTakesWhatTheFolderHolds)
{
    fs::create_directory("board");
    scratch.write("board/003.bin", counting(34));
    scratch.write("board/003.gsm", Bytes(33, 1));
    scratch.write("board/012.bin", counting(8));
    scratch.write("board/256.bin", counting(8));
    scratch.write("board/12.bin", counting(8));
    scratch.write("board/099.bin", Bytes{});
    ASSERT_EQ(open(), 0);
    // A copy from an earlier run tells the format.
    store(40, 2, counting(10));
    SimBoard fresh;
    ASSERT_EQ(board_memory_open(fresh, "board", [](const std::string&) {}), 0);
    ASSERT_EQ(fresh.messages.size(), 4u);
    EXPECT_EQ(fresh.messages.at(3).payload, counting(34));
    EXPECT_EQ(fresh.messages.at(3).format, 3);
    EXPECT_EQ(fresh.messages.at(12).format, 0);
    EXPECT_TRUE(fresh.messages.at(99).payload.empty());
    EXPECT_EQ(fresh.messages.at(40).format, 2);
    EXPECT_EQ(fresh.messages.at(40).payload, counting(10));
}

TEST_F(BoardMemory, NoTemporaryFileIsLeftBehind)
{
    ASSERT_EQ(open(), 0);
    store(5, 1, counting(100));
    store(5, 1, counting(50));
    EXPECT_EQ(names_in("board"), (std::set<std::string>{"005.bin", "005.wav"}));
}

TEST_F(BoardMemory, FolderThatIsAFileIsRefused)
{
    scratch.write("board", "a file");
    EXPECT_NE(open(), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("board"), std::string::npos);
}

TEST_F(BoardMemory, StoreThatCannotWriteIsReported)
{
    scratch.write("file", "in the way");
    ASSERT_EQ(open("file/board"), 0);
    store(1, 1, counting(4));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("file/board"), std::string::npos);
}

}  // namespace
