// The D2XX backend over a fake D2XX library that the tests build, and over
// libraries that are missing or are not D2XX at all.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "console/terminal.h"
#include "link/board_link.h"
#include "link/d2xx_driver.h"
#include "tests/test_support.h"

extern "C" {
void fake_d2xx_reset(int devices);
void fake_d2xx_forget_log();
void fake_d2xx_fail(const char* function, std::uint32_t status);
const char* fake_d2xx_log();
void fake_d2xx_board_says(const char* bytes, std::uint32_t count);
int fake_d2xx_open_devices();
int fake_d2xx_stored(int number, std::uint8_t* out, int max);
}

namespace {

constexpr char NO_BOARD[] = "\n\n  Nao foi detectada nenhuma placa!!!";
constexpr char TWO_BOARDS[] = "\n\n  Foram detectadas mais de uma placa!!!";
constexpr char NO_BAUD_RATE[] = "\n\n  Nao conseguiu mudar Baudrate!!!";

std::string printed_by(const std::function<void()>& body)
{
    return run_with_terminal("", [&] {
               body();
               return 0;
           }).output;
}

std::vector<std::string> log_lines()
{
    std::vector<std::string> lines;
    std::istringstream text(fake_d2xx_log());
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

class D2xxBackend : public testing::Test {
protected:
    void SetUp() override
    {
        d2xx_set_library_path(FAKE_FTD2XX_PATH);
        fake_d2xx_reset(1);
    }

    void TearDown() override
    {
        if (link.handle != nullptr)
            close_board(link);
        d2xx_set_library_path(nullptr);
    }

    void open_one_board()
    {
        ASSERT_EQ(printed_by([&] { ASSERT_EQ(open_board(link), 0); }), "");
        fake_d2xx_forget_log();
    }

    BoardLink link;
};

struct OpenCase {
    const char* name;
    int devices;
    const char* failing;  // an FT_* function that returns status 4, or ""
    int result;           // 0 or non-zero
    const char* printed;
    std::vector<std::string> calls;
};

class D2xxOpenPolicy : public D2xxBackend, public testing::WithParamInterface<OpenCase> {};

TEST_P(D2xxOpenPolicy, MakesTheCallsInOrderWithTheirValues)
{
    const OpenCase& c = GetParam();
    fake_d2xx_reset(c.devices);
    if (*c.failing != '\0')
        fake_d2xx_fail(c.failing, 4);
    int result = -1;
    EXPECT_EQ(printed_by([&] { result = open_board(link); }), c.printed);
    EXPECT_EQ(result != 0, c.result != 0);
    EXPECT_EQ(log_lines(), c.calls);
    EXPECT_EQ(fake_d2xx_open_devices(), result == 0 ? 1 : 0);
    if (result != 0)
        link.handle = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, D2xxOpenPolicy,
    testing::Values(
        OpenCase{"OneBoard", 1, "", 0, "",
                 {"FT_Open(0)=0", "FT_Open(1)=2", "FT_SetDataCharacteristics(h0,8,0,0)=0",
                  "FT_SetLatencyTimer(h0,2)=0", "FT_SetBaudRate(h0,115200)=0"}},
        OpenCase{"NoBoard", 0, "", 1, NO_BOARD, {"FT_Open(0)=2"}},
        OpenCase{"TwoBoards", 2, "", 1, TWO_BOARDS,
                 {"FT_Open(0)=0", "FT_Open(1)=0", "FT_Close(h0)=0", "FT_Close(h1)=0"}},
        OpenCase{"SettingsFailuresIgnored", 1, "FT_SetLatencyTimer", 0, "",
                 {"FT_Open(0)=0", "FT_Open(1)=2", "FT_SetDataCharacteristics(h0,8,0,0)=0",
                  "FT_SetLatencyTimer(h0,2)=4", "FT_SetBaudRate(h0,115200)=0"}},
        OpenCase{"BaudRateRefused", 1, "FT_SetBaudRate", 1, NO_BAUD_RATE,
                 {"FT_Open(0)=0", "FT_Open(1)=2", "FT_SetDataCharacteristics(h0,8,0,0)=0",
                  "FT_SetLatencyTimer(h0,2)=0", "FT_SetBaudRate(h0,115200)=4", "FT_Close(h0)=0"}}),
    [](const testing::TestParamInfo<OpenCase>& param_info) { return param_info.param.name; });

TEST_F(D2xxBackend, MissingLibraryOrSymbolsMeanNoBoard)
{
    for (const char* path : {"/nonexistent/libftd2xx.so", OTHER_LIBRARY}) {
        SCOPED_TRACE(path);
        d2xx_set_library_path(path);
        int result = 0;
        EXPECT_EQ(printed_by([&] { result = open_board(link); }), NO_BOARD);
        EXPECT_NE(result, 0);
        link.handle = nullptr;
    }
    // The library is looked for again at the next open.
    d2xx_set_library_path(FAKE_FTD2XX_PATH);
    EXPECT_EQ(open_board(link), 0);
}

TEST_F(D2xxBackend, ByteOperationsPassStatusesAndValuesThrough)
{
    open_one_board();
    fake_d2xx_board_says("hello", 5);
    std::uint32_t queued = 0;
    EXPECT_EQ(board_queued(link, &queued), DRV_OK);
    EXPECT_EQ(queued, 5u);
    char buffer[8] = {};
    std::uint32_t got = 0;
    EXPECT_EQ(board_read(link, buffer, 8, &got), DRV_OK);
    EXPECT_EQ(std::string(buffer, got), "hello");
    board_set_timeouts(link, 1000, 1000);
    board_purge_rx(link);
    EXPECT_EQ(board_write(link, "Q", 1), DRV_OK);

    fake_d2xx_fail("FT_GetStatus", 4);
    fake_d2xx_fail("FT_Read", 18);
    fake_d2xx_fail("FT_Write", 10);
    EXPECT_EQ(board_queued(link, &queued), 4u);
    EXPECT_EQ(board_read(link, buffer, 1, &got), 18u);
    EXPECT_EQ(board_write(link, "Q", 1), 10u);

    const std::vector<std::string> expected = {
        "FT_GetStatus(h0)=0", "FT_Read(h0,8)=0",   "FT_SetTimeouts(h0,1000,1000)=0",
        "FT_Purge(h0,1)=0",   "FT_Write(h0,1)=0",  "FT_GetStatus(h0)=4",
        "FT_Read(h0,1)=18",   "FT_Write(h0,1)=10"};
    EXPECT_EQ(log_lines(), expected);
}

TEST_F(D2xxBackend, ZeroCountsReturnAtOnceWithoutADriverCall)
{
    open_one_board();
    std::uint8_t buffer[1];
    std::uint32_t got = 5;
    EXPECT_EQ(board_write(link, buffer, 0), DRV_OK);
    EXPECT_EQ(board_read(link, buffer, 0, &got), DRV_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(log_lines().empty());
}

TEST_F(D2xxBackend, FullUploadThroughTheLink)
{
    open_one_board();
    std::vector<std::uint8_t> payload(36);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(0xF0 - i);
    board_set_timeouts(link, 1000, 1000);
    board_purge_rx(link);
    std::uint8_t answer[16];
    std::uint32_t got = 0;
    const std::uint8_t header[] = {'>', '>', '>', 200, 1, 0, 0, 0, 36};
    ASSERT_EQ(board_write(link, header, 4), DRV_OK);
    ASSERT_EQ(board_read(link, answer, 1, &got), DRV_OK);
    EXPECT_EQ(answer[0], 200);
    ASSERT_EQ(board_write(link, header + 4, 1), DRV_OK);
    ASSERT_EQ(board_read(link, answer, 1, &got), DRV_OK);
    EXPECT_EQ(answer[0], 1);
    ASSERT_EQ(board_write(link, header + 5, 4), DRV_OK);
    ASSERT_EQ(board_read(link, answer, 4, &got), DRV_OK);
    EXPECT_EQ(std::memcmp(answer, header + 5, 4), 0);
    for (std::uint32_t at = 0; at < 36; at += 16) {
        const std::uint32_t block = std::min<std::uint32_t>(16, 36 - at);
        ASSERT_EQ(board_write(link, payload.data() + at, block), DRV_OK);
        ASSERT_EQ(board_read(link, answer, block, &got), DRV_OK);
        ASSERT_EQ(got, block);
        EXPECT_EQ(std::memcmp(answer, payload.data() + at, block), 0);
    }
    std::uint8_t stored[64];
    ASSERT_EQ(fake_d2xx_stored(200, stored, 64), 36);
    EXPECT_EQ(std::vector<std::uint8_t>(stored, stored + 36), payload);
}

TEST_F(D2xxBackend, IdleWaitLooksAtTheQueueAndWaitsAtMostAMillisecond)
{
    open_one_board();
    run_with_terminal("k", [&] {
        const std::intptr_t keys = term_wait_object();
        EXPECT_EQ(board_wait(link, -1, 250), DRV_OK);
        EXPECT_EQ(board_wait(link, keys, 250), DRV_OK);
        fake_d2xx_board_says("x", 1);
        EXPECT_EQ(board_wait(link, keys, 250), DRV_OK);
        fake_d2xx_fail("FT_GetStatus", 4);
        EXPECT_EQ(board_wait(link, keys, 250), 4u);
        return 0;
    });
}

TEST_F(D2xxBackend, CallsWithoutAHandleAreRefused)
{
    std::uint32_t queued = 0;
    EXPECT_EQ(drv_get_status(nullptr, &queued, &queued, &queued), DRV_INVALID_HANDLE);
    EXPECT_EQ(drv_close(nullptr), DRV_INVALID_HANDLE);
}

}  // namespace
