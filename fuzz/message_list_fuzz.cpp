// The message list loader on arbitrary list text, against a healthy simulated
// board, beside a few message files that its entries may name (the list file
// itself among them). With a board that never fails, a list that opens is
// always worked through, and no file is left open.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "list/message_list.h"
#include "upload/upload.h"

namespace {

const char LIST_NAME[] = "kiru.cfg";

std::string le16(unsigned value)
{
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string le32(unsigned value)
{
    return le16(value & 0xFFFF) + le16(value >> 16);
}

std::string small_wav(unsigned tag, const std::string& data)
{
    const std::string format = le16(tag) + le16(1) + le32(8000) + le32(16000) + le16(2) + le16(16);
    const std::string chunks = "fmt " + le32(16) + format + "data" + le32(static_cast<unsigned>(data.size())) + data;
    return "RIFF" + le32(static_cast<unsigned>(4 + chunks.size())) + "WAVE" + chunks;
}

void write_text(const char* name, const std::string& bytes)
{
    fuzz_write_file(name, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    write_text("a.wav", small_wav(1, std::string(40, '\x11')));
    write_text("b.wav", small_wav(6, std::string(21, '\x55')));
    write_text("c.gsm", std::string(40, '\x22'));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_write_file(LIST_NAME, data, size);
    BoardLink link;
    fuzz_open_board(link);
    const int free_before = fuzz_lowest_free_descriptor();

    fuzz_enter_scratch();
    const int result = load_message_list(link, LIST_NAME);
    fuzz_leave_scratch();

    if (fuzz_lowest_free_descriptor() != free_before)
        fuzz_fail("a file was left open", result);
    if (result != UPLOAD_OK)
        fuzz_fail("a healthy board and an existing list gave this result", result);
    close_board(link);
    return 0;
}
