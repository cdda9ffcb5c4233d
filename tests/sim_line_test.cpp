#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/board_link.h"
#include "sim/sim_line.h"
#include "sim/sim_world.h"
#include "tests/test_support.h"
#include "upload/upload.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t B = SIM_BYTE_NS;
constexpr std::uint64_t TICK = SIM_LATENCY_NS;
constexpr std::uint64_t MS = 1'000'000;

// A clock that moves only when the line sleeps on it.
std::uint64_t fake_now = 0;
std::uint64_t fake_now_ns()
{
    return fake_now;
}
void fake_sleep_until(std::uint64_t when)
{
    if (when > fake_now)
        fake_now = when;
}
void fake_wait_input(std::intptr_t, std::uint64_t when)
{
    fake_sleep_until(when);
}

class RealtimeLine : public testing::Test {
protected:
    void SetUp() override
    {
        sim_reset();
        fake_now = 0;
        run_with_terminal("", [&] { return open_board(link); });
        sim_line_start(sim_world(), SimLineClock{fake_now_ns, fake_sleep_until, fake_wait_input});
    }
    void TearDown() override { close_board(link); }

    std::uint32_t queued()
    {
        std::uint32_t count = 0;
        EXPECT_EQ(board_queued(link, &count), DRV_OK);
        return count;
    }

    std::string read(std::uint32_t count, std::uint32_t* got = nullptr)
    {
        std::string bytes(count, '\0');
        std::uint32_t taken = 0;
        EXPECT_EQ(board_read(link, bytes.data(), count, &taken), DRV_OK);
        bytes.resize(taken);
        if (got != nullptr)
            *got = taken;
        return bytes;
    }

    BoardLink link;
};

TEST_F(RealtimeLine, WriteTakesTheLineTimeAndAnswersArriveOnTheLatencyTicks)
{
    const std::string unlocked = SIM_LINE_UNLOCKED;
    ASSERT_EQ(unlocked.size(), 21u);
    EXPECT_EQ(board_write(link, "CCC", 3), DRV_OK);
    EXPECT_EQ(fake_now, 3 * B);
    // Answer byte k (from 1) has left the board at (3 + k) byte times: twenty
    // of them by the first tick, the last one by the second.
    EXPECT_EQ(queued(), 0u);
    fake_now = TICK - 1;
    EXPECT_EQ(queued(), 0u);
    fake_now = TICK;
    EXPECT_EQ(queued(), 20u);
    fake_now = 2 * TICK;
    EXPECT_EQ(queued(), 21u);
    EXPECT_EQ(read(21), unlocked);
    EXPECT_EQ(fake_now, 2 * TICK);
}

TEST_F(RealtimeLine, ReadWaitsForBytesOnTheirWay)
{
    board_write(link, "*", 1);
    const std::string version = SIM_LINE_VERSION;
    // A read without a time-out waits for everything on its way, and no more.
    EXPECT_EQ(read(100), version);
    const std::uint64_t last_left = (1 + version.size()) * B;
    EXPECT_EQ(fake_now, sim_line_readable_at(last_left));
}

TEST_F(RealtimeLine, ReadWaitsTheWholeTimeOutForBytesThatNeverCome)
{
    board_set_timeouts(link, 1000, 1000);
    fake_now = 5 * MS;
    std::uint32_t got = 99;
    EXPECT_EQ(read(16, &got), "");
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(fake_now, 1005 * MS);
    EXPECT_EQ(sim_world().now_us, 1'005'000u);
}

TEST_F(RealtimeLine, ReadOfNothingReturnsAtOnce)
{
    board_set_timeouts(link, 1000, 1000);
    board_write(link, "*", 1);
    const std::uint64_t before = fake_now;
    EXPECT_EQ(read(0), "");
    EXPECT_EQ(fake_now, before);
}

TEST_F(RealtimeLine, PurgeKeepsWhatIsStillOnTheWire)
{
    board_write(link, "CCC", 3);
    // By 1 ms answer bytes 1 to 8 have left the board ((3 + 8) * B < 1 ms).
    fake_now = 1 * MS;
    board_purge_rx(link);
    EXPECT_EQ(read(21), std::string(SIM_LINE_UNLOCKED).substr(8));
}

TEST_F(RealtimeLine, IdleWaitEndsWithTheNextArrival)
{
    board_write(link, "q", 1);
    EXPECT_EQ(board_wait(link, -1, 250), DRV_OK);
    EXPECT_EQ(fake_now, TICK);
    EXPECT_GT(queued(), 0u);
    read(100);
    EXPECT_EQ(board_wait(link, -1, 250), DRV_OK);
    EXPECT_EQ(fake_now, TICK + 250 * MS);
}

// One GSM record from the start of a tick: the start marker and the number
// byte, its echo at the first tick; the format echo at the next; the length
// answer (eight byte times) at the next; then two blocks of 16 and the tail
// of 2, each echoed by the following tick.
TEST_F(RealtimeLine, UploadTakesOneTickPerExchange)
{
    const Bytes payload(34, 0x5A);
    const CapturedRun run = run_with_terminal("", [&] {
        return send_message(link, FileKind::GSM, 9, FORMAT_GSM, payload.data(), 34, "m.gsm", nullptr);
    });
    EXPECT_EQ(run.result, UPLOAD_OK);
    EXPECT_EQ(fake_now, 6 * TICK);
    EXPECT_EQ(sim_world().board.messages.at(9).payload, payload);
}

TEST_F(RealtimeLine, BoardGivesUpAnUploadAfterARealSilence)
{
    const Bytes payload(64, 0x11);
    sim_world().board.faults.stop_echo_at = 20;
    EXPECT_EQ(run_with_terminal("", [&] {
                  return send_message(link, FileKind::GSM, 1, FORMAT_GSM, payload.data(), 64, "m.gsm",
                                      nullptr);
              }).result,
              UPLOAD_LINK_FAILED);
    sim_world().board.faults = SimUploadFaults{};
    EXPECT_EQ(run_with_terminal("", [&] {
                  return send_message(link, FileKind::GSM, 2, FORMAT_GSM, payload.data(), 64, "m.gsm",
                                      nullptr);
              }).result,
              UPLOAD_OK);
    EXPECT_EQ(sim_world().board.messages.count(1), 0u);
    EXPECT_EQ(sim_world().board.messages.at(2).payload, payload);
}

}  // namespace
