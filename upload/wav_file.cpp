#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/stat.h>

#include "console/terminal.h"
#include "upload/alaw.h"
#include "upload/upload.h"

namespace {

// The first 16 bytes of a "fmt " chunk.
struct WavFormat {
    std::uint16_t format_tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint32_t byte_rate = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
};

constexpr std::uint16_t TAG_LINEAR = 1;
constexpr std::uint16_t TAG_ALAW = 6;
constexpr std::uint16_t TAG_MULAW = 7;

// The transaction counts the payload in a signed 32-bit number and rounds an
// odd count up, so a longer payload could not be announced.
constexpr std::uint64_t MAX_PAYLOAD = 0x7FFFFFFE;

const char* const MSG_INVALID_FORMAT = "\nFormato invalido";
const char* const MSG_UNKNOWN_CHUNK = "\nChunk desconhecido";
const char* const MSG_INCOMPLETE = "\nArquivo incompleto";
const char* const MSG_SHORT_FORMAT = "\nChunk de formato curto";
const char* const MSG_NO_MEMORY = "\nNao conseguiu alocar";
const char* const MSG_NOT_MONO = "\nNao eh mono";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct BufferRelease {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
};
using Buffer = std::unique_ptr<std::uint8_t[], BufferRelease>;

std::uint16_t le16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t le32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
           (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

bool read_exactly(std::FILE* file, void* bytes, std::size_t count)
{
    return std::fread(bytes, 1, count, file) == count;
}

// Reads and drops count bytes; false when the file ends first.
bool skip_bytes(std::FILE* file, std::uint64_t count)
{
    std::uint8_t scratch[4096];
    while (count > 0) {
        const std::size_t step = count < sizeof scratch ? static_cast<std::size_t>(count) : sizeof scratch;
        if (!read_exactly(file, scratch, step))
            return false;
        count -= step;
    }
    return true;
}

std::uint64_t padded(std::uint64_t size)
{
    return size + (size & 1);
}

// Walks the chunks in front of the audio and leaves the file at the first
// data byte. Returns nullptr there, or the line that refuses the file.
const char* find_data(std::FILE* file, WavFormat& format, bool& has_format, std::uint64_t& data_size)
{
    for (;;) {
        std::uint8_t header[8];
        if (!read_exactly(file, header, sizeof header))
            return MSG_INCOMPLETE;
        const std::uint64_t size = le32(header + 4);
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (size < 16)
                return MSG_SHORT_FORMAT;
            std::uint8_t bytes[16];
            if (!read_exactly(file, bytes, sizeof bytes))
                return MSG_INCOMPLETE;
            format.format_tag = le16(bytes);
            format.channels = le16(bytes + 2);
            format.sample_rate = le32(bytes + 4);
            format.byte_rate = le32(bytes + 8);
            format.block_align = le16(bytes + 12);
            format.bits_per_sample = le16(bytes + 14);
            has_format = true;
            if (!skip_bytes(file, padded(size - 16)))
                return MSG_INCOMPLETE;
        } else if (std::memcmp(header, "fact", 4) == 0) {
            if (!skip_bytes(file, padded(size)))
                return MSG_INCOMPLETE;
        } else if (std::memcmp(header, "data", 4) == 0) {
            data_size = size & ~std::uint64_t{1};
            return nullptr;
        } else {
            return MSG_UNKNOWN_CHUNK;
        }
    }
}

// A zero-filled buffer, or none when the payload it would carry is too long
// for the transaction or the memory is not there.
Buffer allocate_payload(std::uint64_t payload_length, std::uint64_t size)
{
    if (payload_length > MAX_PAYLOAD || size > std::numeric_limits<std::size_t>::max())
        return nullptr;
    return Buffer(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(size), 1)));
}

// Linear PCM: the data read into the buffer and converted to A-law in place.
// Returns 0 with the payload length in n, or 2 after its line.
int load_linear(File& file, const WavFormat& format, std::uint64_t data_size, Buffer& buffer,
                std::uint64_t& n)
{
    term_print("\nFormato PCM Linear ");
    buffer = allocate_payload(data_size / 2, data_size + 256);
    if (!buffer) {
        file.reset();
        term_print("%s", MSG_NO_MEMORY);
        return UPLOAD_REFUSED;
    }
    // Samples missing from a short file stay zero.
    std::fread(buffer.get(), 1, static_cast<std::size_t>(data_size), file.get());
    file.reset();
    if (format.channels != 1) {
        term_print("%s", MSG_NOT_MONO);
        return UPLOAD_REFUSED;
    }
    term_print("mono ");
    if (format.block_align / format.channels != 2) {
        term_print("\nNao eh 16 bits");
        return UPLOAD_REFUSED;
    }
    term_print("16 bits ");
    n = data_size / format.block_align;
    std::uint8_t* bytes = buffer.get();
    // Byte i is written after sample i has been read, and i <= 2i, so the
    // A-law bytes never land on a sample still to be read.
    for (std::uint64_t i = 0; i < n; ++i) {
        const auto sample = static_cast<std::int16_t>(le16(bytes + 2 * i));
        bytes[i] = linear_to_alaw(sample);
    }
    if (n % 2 != 0)
        bytes[n] = 0;
    return UPLOAD_OK;
}

// A-law or mu-law: the data bytes as they stand. Returns 0 with the payload
// length in n, or 2 after its line.
int load_companded(File& file, const WavFormat& format, std::uint64_t data_size, Buffer& buffer,
                   std::uint64_t& n)
{
    term_print("\nFormato CCITT ");
    buffer = allocate_payload(data_size, data_size + 128);
    if (!buffer) {
        file.reset();
        term_print("%s", MSG_NO_MEMORY);
        return UPLOAD_REFUSED;
    }
    const std::size_t got = std::fread(buffer.get(), 1, static_cast<std::size_t>(data_size), file.get());
    file.reset();
    if (got < data_size) {
        term_print("\nTamanho com erro");
        return UPLOAD_REFUSED;
    }
    if (format.channels != 1) {
        term_print("%s", MSG_NOT_MONO);
        return UPLOAD_REFUSED;
    }
    term_print("mono ");
    n = data_size;
    return UPLOAD_OK;
}

}  // namespace

int upload_wav_file(BoardLink& link, const char* file_name, int number)
{
    File file(std::fopen(file_name, "rb"));
    struct stat info {};
    // A directory opens here but holds no bytes to read: it is no message file.
    if (!file || (fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode))) {
        term_print("\nNao consegui abrir arquivo \"%s\"", file_name);
        return UPLOAD_OPEN_FAILED;
    }
    term_print("\nAbriu arquivo \"%s\"", file_name);

    std::uint8_t header[12];
    if (!read_exactly(file.get(), header, sizeof header) || std::memcmp(header + 8, "WAVE", 4) != 0) {
        file.reset();
        term_print("%s", MSG_INVALID_FORMAT);
        return UPLOAD_REFUSED;
    }

    WavFormat format;
    bool has_format = false;
    std::uint64_t data_size = 0;
    if (const char* refusal = find_data(file.get(), format, has_format, data_size)) {
        file.reset();
        term_print("%s", refusal);
        return UPLOAD_REFUSED;
    }
    // Without a "fmt " chunk there is no format tag to go by.
    const std::uint16_t tag = has_format ? format.format_tag : 0;
    if (tag != TAG_LINEAR && tag != TAG_ALAW && tag != TAG_MULAW) {
        file.reset();
        term_print("%s", MSG_INVALID_FORMAT);
        return UPLOAD_REFUSED;
    }

    Buffer buffer;
    std::uint64_t n = 0;
    const int loaded = tag == TAG_LINEAR ? load_linear(file, format, data_size, buffer, n)
                                         : load_companded(file, format, data_size, buffer, n);
    if (loaded != UPLOAD_OK)
        return loaded;

    // The board takes every pair of samples the other way round; an odd
    // payload's last pair takes in the zero pad byte behind it.
    std::uint8_t* bytes = buffer.get();
    for (std::uint64_t j = 0; j < n; j += 2) {
        const std::uint8_t first = bytes[j];
        bytes[j] = bytes[j + 1];
        bytes[j + 1] = first;
    }
    // The first 16 bytes of a WAV message always travel as zeros, past the
    // end of a shorter payload too; the buffer has room for them.
    std::memset(bytes, 0, 16);

    const std::uint8_t board_format = tag == TAG_MULAW ? FORMAT_MULAW : FORMAT_ALAW;
    const char* label = tag == TAG_LINEAR ? "(PCM 16 bits) " : tag == TAG_ALAW ? "(PCM lei-a) " : "(PCM lei-u) ";
    return send_message(link, FileKind::WAV, number, board_format, bytes, static_cast<std::int32_t>(n),
                        file_name, label);
}
