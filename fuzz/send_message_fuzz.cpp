// The upload transaction against a misbehaving simulated board: the first
// bytes of the input choose the board's faults (lost or wrong echoes, any
// length answer, negative ones included, a corrupted or missing payload echo),
// the rest is the payload. The payload sits in a buffer of exactly the bytes
// that may travel (n, plus the pad byte when n is odd), so that a read past
// them is caught; whatever the board does, the result is one of the codes the
// transaction may give.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "sim/sim_world.h"
#include "upload/upload.h"

namespace {

constexpr std::size_t SETTINGS = 10;

std::int32_t be32(const std::uint8_t* bytes)
{
    return static_cast<std::int32_t>((std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                     (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < SETTINGS)
        return 0;
    BoardLink link;
    fuzz_open_board(link);
    SimUploadFaults& faults = sim_world().board.faults;
    const std::uint8_t flags = data[0];
    faults.no_number_echo = (flags & 0x01) != 0;
    faults.no_format_echo = (flags & 0x02) != 0;
    faults.no_length_answer = (flags & 0x04) != 0;
    faults.fixed_length_answer = (flags & 0x08) != 0;
    faults.length_answer = be32(data + 1);
    if ((flags & 0x20) != 0)
        faults.number_echo = data[5];
    if ((flags & 0x40) != 0)
        faults.format_echo = data[5];
    const auto at = static_cast<std::int64_t>((data[6] << 8) | data[7]);
    if ((flags & 0x80) != 0)
        faults.change_echo_at = at;
    if ((data[8] & 0x01) != 0)
        faults.stop_echo_at = at;
    if ((data[8] & 0x02) != 0)
        faults.drop_echo_at = at;
    const FileKind kind = (flags & 0x10) != 0 ? FileKind::WAV : FileKind::GSM;
    const int number = data[9];

    const auto n = static_cast<std::int32_t>(size - SETTINGS);
    const std::size_t travels = static_cast<std::size_t>(n) + (n & 1);
    // Exactly the bytes that may travel, on the heap where a read past them shows.
    const std::unique_ptr<std::uint8_t[]> payload(new std::uint8_t[travels == 0 ? 1 : travels]);
    std::memcpy(payload.get(), data + SETTINGS, static_cast<std::size_t>(n));
    if (n & 1)
        payload[static_cast<std::size_t>(n)] = 0;

    const int result = send_message(link, kind, number, FORMAT_ALAW, payload.get(), n, "mensagem", nullptr);

    if (result != UPLOAD_OK && result != UPLOAD_LINK_FAILED && result != UPLOAD_ECHO_DIFFERED &&
        result != UPLOAD_HEADER_FAILED)
        fuzz_fail("the transaction gave a code it never gives", result);
    close_board(link);
    return 0;
}
