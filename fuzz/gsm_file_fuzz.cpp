// The GSM uploader on arbitrary file content, against a healthy simulated
// board: every file travels as 34-byte records of its bytes, a short last
// frame completed with the file's last byte, and no file is left open.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "sim/sim_world.h"
#include "upload/upload.h"

namespace {

constexpr int NUMBER = 9;
const char FILE_NAME[] = "mensagem.gsm";

std::vector<std::uint8_t> expected_records(const std::uint8_t* data, std::size_t size)
{
    const std::size_t records = size == 0 ? 1 : (size + 32) / 33;
    std::vector<std::uint8_t> payload;
    std::uint8_t fill = 0;
    for (std::size_t r = 0; r < records; ++r) {
        for (std::size_t i = 0; i < 33; ++i) {
            if (r * 33 + i < size)
                fill = data[r * 33 + i];
            payload.push_back(fill);
        }
        payload.push_back(0);
    }
    return payload;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_write_file(FILE_NAME, data, size);
    BoardLink link;
    fuzz_open_board(link);
    const int free_before = fuzz_lowest_free_descriptor();

    const int result = upload_gsm_file(link, fuzz_path(FILE_NAME), NUMBER);

    if (fuzz_lowest_free_descriptor() != free_before)
        fuzz_fail("a file was left open", result);
    if (result != UPLOAD_OK)
        fuzz_fail("a healthy board and an existing file gave this result", result);
    const SimWorld& world = sim_world();
    const auto stored = world.board.messages.find(NUMBER);
    if (stored == world.board.messages.end() || world.board.state != SimUploadState::Idle)
        fuzz_fail("success reported, but the board holds no whole message", result);
    if (stored->second.format != FORMAT_GSM)
        fuzz_fail("stored under a wrong format", stored->second.format);
    std::vector<std::uint8_t> expected = expected_records(data, size);
    if (expected.size() > FUZZ_BOARD_CAPACITY)
        expected.resize(FUZZ_BOARD_CAPACITY);
    if (stored->second.payload != expected)
        fuzz_fail("the board received other bytes than the file's records",
                  static_cast<int>(stored->second.payload.size()));
    close_board(link);
    return 0;
}
