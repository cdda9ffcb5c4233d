#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

#include "console/terminal.h"
#include "upload/upload.h"

namespace {

constexpr std::int64_t FRAME_SIZE = 33;
constexpr std::int64_t RECORD_SIZE = FRAME_SIZE + 1;
// The payload length travels as a signed 32-bit count.
constexpr std::int64_t MOST_RECORDS = INT32_MAX / RECORD_SIZE;

struct FileCloser {
    // Read only: a close that fails loses nothing.
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
struct BufferFree {
    void operator()(std::uint8_t* buffer) const { std::free(buffer); }
};

}  // namespace

int upload_gsm_file(BoardLink& link, const char* file_name, int number)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(file_name, "rb"));
    struct stat info {};
    const bool known = file && fstat(fileno(file.get()), &info) == 0;
    // A directory opens here but holds no bytes to read: it is no message file.
    if (!file || (known && S_ISDIR(info.st_mode))) {
        term_print("\nNao consegui abrir arquivo \"%s\"", file_name);
        return UPLOAD_OPEN_FAILED;
    }

    const std::int64_t length = known ? static_cast<std::int64_t>(info.st_size) : -1;
    const std::int64_t records = length <= 0 ? 1 : (length + FRAME_SIZE - 1) / FRAME_SIZE;
    std::unique_ptr<std::uint8_t, BufferFree> payload;
    if (length >= 0 && records <= MOST_RECORDS)
        payload.reset(static_cast<std::uint8_t*>(
            std::calloc(static_cast<std::size_t>(records), RECORD_SIZE)));
    if (!payload) {
        term_print("\nNao consegui alocar");
        return UPLOAD_REFUSED;
    }

    // A read that brings nothing repeats the last byte read, so a short last
    // frame is completed with it; the record's last byte stays zero.
    std::uint8_t fill = 0;
    std::uint8_t* record = payload.get();
    for (std::int64_t r = 0; r < records; ++r, record += RECORD_SIZE) {
        for (std::int64_t i = 0; i < FRAME_SIZE; ++i) {
            const int byte = std::getc(file.get());
            if (byte != EOF)
                fill = static_cast<std::uint8_t>(byte);
            record[i] = fill;
        }
    }
    file.reset();

    return send_message(link, FileKind::GSM, number, FORMAT_GSM, payload.get(),
                        static_cast<std::int32_t>(records * RECORD_SIZE), file_name, nullptr);
}
