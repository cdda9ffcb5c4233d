#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "link/board_link.h"
#include "sim/sim_world.h"
#include "tests/test_support.h"
#include "upload/upload.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class SimBoardUpload : public testing::Test {
protected:
    void SetUp() override
    {
        sim_reset();
        run_with_terminal("", [&] { return open_board(link); });
    }
    void TearDown() override { close_board(link); }

    int send(const Bytes& payload, int number = 4)
    {
        return run_with_terminal("", [&] {
                   return send_message(link, FileKind::GSM, number, FORMAT_GSM, payload.data(),
                                       static_cast<std::int32_t>(payload.size()), "m.gsm", nullptr);
               }).result;
    }

    BoardLink link;
};

TEST_F(SimBoardUpload, StoresTheMessageUnderItsNumberAndFormat)
{
    int stored_number = -1;
    sim_world().board.on_store = [&](int number, const SimMessage&) { stored_number = number; };
    const Bytes payload(40, 0x11);
    EXPECT_EQ(send(payload, 260), UPLOAD_OK);
    EXPECT_EQ(stored_number, 4);
    EXPECT_EQ(sim_world().board.messages.at(4).format, FORMAT_GSM);
    EXPECT_EQ(sim_world().board.messages.at(4).payload, payload);
    EXPECT_EQ(sim_world().board.state, SimUploadState::Idle);
}

TEST_F(SimBoardUpload, PayloadBytesThatLookLikeCommandsStayPayload)
{
    const Bytes payload{'>', '>', '>', 'C', 'C', 'C', '{', '{', '{', '{', '{', '*', '<', 'Q'};
    EXPECT_EQ(send(payload), UPLOAD_OK);
    EXPECT_EQ(sim_world().board.messages.at(4).payload, payload);
    EXPECT_TRUE(sim_world().board.programming_locked);
    EXPECT_TRUE(sim_world().rx.empty());
}

TEST_F(SimBoardUpload, UploadAbandonedAfterALinkFailureDoesNotHoldTheBoard)
{
    sim_world().board.faults.stop_echo_at = 20;
    EXPECT_EQ(send(Bytes(64, 0x22)), UPLOAD_LINK_FAILED);
    EXPECT_EQ(sim_world().board.state, SimUploadState::Payload);
    sim_world().board.faults = SimUploadFaults{};
    const Bytes payload(34, 0x33);
    EXPECT_EQ(send(payload), UPLOAD_OK);
    EXPECT_EQ(sim_world().board.messages.at(4).payload, payload);
}

TEST_F(SimBoardUpload, RefusedLengthLeavesTheBoardIdle)
{
    sim_world().board.faults.fixed_length_answer = true;
    sim_world().board.faults.length_answer = -1;
    EXPECT_EQ(send(Bytes(34, 0x44)), UPLOAD_HEADER_FAILED);
    EXPECT_EQ(sim_world().board.state, SimUploadState::Idle);
    EXPECT_TRUE(sim_world().board.messages.empty());
    sim_world().board.faults = SimUploadFaults{};
    EXPECT_EQ(send(Bytes(34, 0x55)), UPLOAD_OK);
}

struct PauseCase {
    const char* name;
    std::uint64_t pause_us;
    int retry_result;
};

void PrintTo(const PauseCase& c, std::ostream* os)
{
    *os << c.name;
}

class SimBoardSilence : public SimBoardUpload, public testing::WithParamInterface<PauseCase> {};

// After a bad echo the host gives up at once; only a silence longer than the
// board's patience tells the board that the upload is over.
TEST_P(SimBoardSilence, EndsAnUploadTheHostLeft)
{
    const PauseCase& c = GetParam();
    sim_world().board.faults.change_echo_at = 3;
    EXPECT_EQ(send(Bytes(64, 0x66)), UPLOAD_ECHO_DIFFERED);
    sim_world().board.faults = SimUploadFaults{};
    sim_world().now_us += c.pause_us;
    EXPECT_EQ(send(Bytes(34, 0x77)), c.retry_result);
}

INSTANTIATE_TEST_SUITE_P(
    Pauses, SimBoardSilence,
    testing::Values(PauseCase{"LongerThanPatience", 500'001, UPLOAD_OK},
                    PauseCase{"WithinPatience", 500'000, UPLOAD_HEADER_FAILED}),
    [](const testing::TestParamInfo<PauseCase>& param_info) { return param_info.param.name; });

}  // namespace
