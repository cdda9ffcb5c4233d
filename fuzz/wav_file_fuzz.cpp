// The WAV uploader on arbitrary file content, against a healthy simulated
// board: whatever the file holds, the upload either succeeds whole or refuses
// the file without touching the board, and leaves no file open.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "sim/sim_world.h"
#include "upload/upload.h"

namespace {

constexpr int NUMBER = 7;
const char FILE_NAME[] = "mensagem.wav";

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

    const int result = upload_wav_file(link, fuzz_path(FILE_NAME), NUMBER);

    if (fuzz_lowest_free_descriptor() != free_before)
        fuzz_fail("a file was left open", result);
    const SimWorld& world = sim_world();
    if (result == UPLOAD_REFUSED) {
        if (world.read_timeout_ms != 0 || !world.board.messages.empty())
            fuzz_fail("a refused file reached the board", result);
    } else if (result == UPLOAD_OK) {
        const auto stored = world.board.messages.find(NUMBER);
        if (stored == world.board.messages.end() || world.board.state != SimUploadState::Idle)
            fuzz_fail("success reported, but the board holds no whole message", result);
        const SimMessage& message = stored->second;
        if (message.format != FORMAT_ALAW && message.format != FORMAT_MULAW)
            fuzz_fail("stored under a wrong format", message.format);
        if (message.payload.size() % 2 != 0)
            fuzz_fail("an odd number of bytes travelled", static_cast<int>(message.payload.size()));
        for (std::size_t i = 0; i < 16 && i < message.payload.size(); ++i)
            if (message.payload[i] != 0)
                fuzz_fail("the first 16 payload bytes are not zero", static_cast<int>(i));
    } else {
        fuzz_fail("a healthy board and an existing file gave this result", result);
    }
    close_board(link);
    return 0;
}
