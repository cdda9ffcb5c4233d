#include <gtest/gtest.h>

#include "link/board_link.h"
#include "sim/sim_world.h"
#include "tests/test_support.h"

namespace {

struct OpenCase {
    const char* name;
    int devices;
    SimOp failing;      // SimOp::WaitReadable: nothing fails
    int failing_index;  // for Open
    int expected;       // 0 or non-zero
    const char* printed;
    int handles_left;
};

class OpenBoard : public testing::TestWithParam<OpenCase> {};

TEST_P(OpenBoard, FollowsTheOpenPolicy)
{
    const OpenCase& c = GetParam();
    sim_reset();
    sim_world().devices = c.devices;
    if (c.failing != SimOp::WaitReadable)
        sim_fail(c.failing, DRV_IO_ERROR, 0, -1, c.failing_index);
    BoardLink link;
    int result = -1;
    const CapturedRun run = run_with_terminal("", [&] {
        result = open_board(link);
        return result;
    });
    EXPECT_EQ(result != 0, c.expected != 0);
    EXPECT_EQ(run.output, c.printed);
    EXPECT_EQ(sim_world().open_handles, c.handles_left);
    if (result == 0)
        close_board(link);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenBoard,
    testing::Values(
        OpenCase{"NoDevice", 0, SimOp::WaitReadable, -1, 1, "\n\n  Nao foi detectada nenhuma placa!!!", 0},
        OpenCase{"OneDevice", 1, SimOp::WaitReadable, -1, 0, "", 1},
        OpenCase{"TwoDevices", 2, SimOp::WaitReadable, -1, 1, "\n\n  Foram detectadas mais de uma placa!!!", 0},
        OpenCase{"ThreeDevices", 3, SimOp::WaitReadable, -1, 1, "\n\n  Foram detectadas mais de uma placa!!!", 0},
        OpenCase{"SecondFailsToOpen", 2, SimOp::Open, 1, 0, "", 1},
        OpenCase{"FirstFailsToOpen", 2, SimOp::Open, 0, 1, "\n\n  Nao foi detectada nenhuma placa!!!", 0},
        OpenCase{"DataCharacteristicsIgnored", 1, SimOp::SetDataCharacteristics, -1, 0, "", 1},
        OpenCase{"LatencyTimerIgnored", 1, SimOp::SetLatencyTimer, -1, 0, "", 1},
        OpenCase{"BaudRateRefused", 1, SimOp::SetBaudRate, -1, 1, "\n\n  Nao conseguiu mudar Baudrate!!!", 0}),
    [](const testing::TestParamInfo<OpenCase>& param_info) { return param_info.param.name; });

TEST(OpenBoard, MakesTheSettingsInOrderWithTheirValues)
{
    sim_reset();
    BoardLink link;
    run_with_terminal("", [&] { return open_board(link); });
    const std::vector<SimCall>& calls = sim_world().calls;
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].op, SimOp::Open);
    EXPECT_EQ(calls[0].args, (std::vector<std::int64_t>{0}));
    EXPECT_EQ(calls[1].op, SimOp::Open);
    EXPECT_EQ(calls[1].args, (std::vector<std::int64_t>{1}));
    EXPECT_EQ(calls[2].op, SimOp::SetDataCharacteristics);
    EXPECT_EQ(calls[2].args, (std::vector<std::int64_t>{8, 0, 0}));
    EXPECT_EQ(calls[3].op, SimOp::SetLatencyTimer);
    EXPECT_EQ(calls[3].args, (std::vector<std::int64_t>{2}));
    EXPECT_EQ(calls[4].op, SimOp::SetBaudRate);
    EXPECT_EQ(calls[4].args, (std::vector<std::int64_t>{115200}));
    close_board(link);
}

TEST(OpenBoard, TwoDevicesCloseBothHandlesBeforeTheMessage)
{
    sim_reset();
    sim_world().devices = 2;
    BoardLink link;
    run_with_terminal("", [&] { return open_board(link); });
    const std::vector<SimCall>& calls = sim_world().calls;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[2].op, SimOp::Close);
    EXPECT_EQ(calls[2].args, (std::vector<std::int64_t>{0}));
    EXPECT_EQ(calls[3].op, SimOp::Close);
    EXPECT_EQ(calls[3].args, (std::vector<std::int64_t>{1}));
}

TEST(BoardOperations, ZeroCountReadAndWriteReturnAtOnce)
{
    sim_reset();
    BoardLink link;
    run_with_terminal("", [&] { return open_board(link); });
    sim_world().read_timeout_ms = 1000;
    unsigned char buffer[4] = {};
    std::uint32_t read = 99;
    EXPECT_EQ(board_write(link, buffer, 0), DRV_OK);
    EXPECT_EQ(board_read(link, buffer, 0, &read), DRV_OK);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(sim_world().now_us, 0u);
    EXPECT_TRUE(sim_written().empty());
    close_board(link);
}

TEST(BoardOperations, ShortReadIsNoFailureAndCostsTheTimeOut)
{
    sim_reset();
    BoardLink link;
    run_with_terminal("", [&] { return open_board(link); });
    board_set_timeouts(link, 1000, 1000);
    sim_board_says("ab");
    unsigned char buffer[16] = {};
    std::uint32_t read = 0;
    EXPECT_EQ(board_read(link, buffer, 16, &read), DRV_OK);
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(sim_world().now_us, 1000000u);
    close_board(link);
}

TEST(BoardOperations, EachIsOneDriverCallWithItsArguments)
{
    sim_reset();
    BoardLink link;
    run_with_terminal("", [&] { return open_board(link); });
    sim_world().calls.clear();
    sim_board_says("xyz");
    std::uint32_t queued = 0;
    EXPECT_EQ(board_queued(link, &queued), DRV_OK);
    EXPECT_EQ(queued, 3u);
    board_purge_rx(link);
    EXPECT_EQ(board_queued(link, &queued), DRV_OK);
    EXPECT_EQ(queued, 0u);
    board_set_timeouts(link, 1000, 500);
    const unsigned char bytes[] = {'*'};
    EXPECT_EQ(board_write(link, bytes, 1), DRV_OK);
    close_board(link);
    const std::vector<SimCall>& calls = sim_world().calls;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, SimOp::Purge);
    EXPECT_EQ(calls[0].args, (std::vector<std::int64_t>{1}));
    EXPECT_EQ(calls[1].op, SimOp::SetTimeouts);
    EXPECT_EQ(calls[1].args, (std::vector<std::int64_t>{1000, 500}));
    EXPECT_EQ(calls[2].op, SimOp::Write);
    EXPECT_EQ(calls[3].op, SimOp::Close);
}

}  // namespace
