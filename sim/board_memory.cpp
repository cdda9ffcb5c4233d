#include "sim/board_memory.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Report = std::function<void(const std::string&)>;

constexpr std::uint8_t FORMAT_ALAW = 1;
constexpr std::uint8_t FORMAT_MULAW = 2;
constexpr std::uint8_t FORMAT_GSM = 3;
constexpr std::uint16_t WAV_TAG_ALAW = 6;
constexpr std::uint16_t WAV_TAG_MULAW = 7;
constexpr std::size_t GSM_FRAME = 33;
constexpr std::size_t GSM_RECORD = 34;
constexpr std::uint32_t SAMPLE_RATE = 8000;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string three_digits(int number)
{
    char name[8];
    std::snprintf(name, sizeof name, "%03d", number & 0xFF);
    return name;
}

fs::path message_path(const std::string& folder, int number, const char* extension)
{
    return fs::path(folder) / (three_digits(number) + extension);
}

// The message number of a name such as "007.bin", or -1.
int number_of(const std::string& name, const char* extension)
{
    if (name.size() != 3 + std::strlen(extension) || name.compare(3, std::string::npos, extension) != 0)
        return -1;
    int number = 0;
    for (int i = 0; i < 3; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number <= 255 ? number : -1;
}

bool read_file(const fs::path& path, Bytes& bytes)
{
    File file(std::fopen(path.string().c_str(), "rb"));
    if (!file)
        return false;
    bytes.clear();
    std::uint8_t chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    return std::ferror(file.get()) == 0;
}

bool write_atomically(const fs::path& path, const Bytes& bytes, const Report& report)
{
    const fs::path temporary = path.parent_path() / ("." + path.filename().string() + ".tmp");
    bool written = false;
    {
        File file(std::fopen(temporary.string().c_str(), "wb"));
        if (file) {
            written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
            written = std::fclose(file.release()) == 0 && written;
        }
    }
    std::error_code error;
    if (written)
        fs::rename(temporary, path, error);
    if (!written || error) {
        fs::remove(temporary, error);
        report("cannot write " + path.string());
        return false;
    }
    return true;
}

void remove_file(const fs::path& path, const Report& report)
{
    std::error_code error;
    fs::remove(path, error);
    if (error)
        report("cannot remove " + path.string() + ": " + error.message());
}

void put16(Bytes& bytes, std::uint32_t value)
{
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& bytes, std::uint32_t value)
{
    put16(bytes, value & 0xFFFF);
    put16(bytes, value >> 16);
}

void put_id(Bytes& bytes, const char* id)
{
    bytes.insert(bytes.end(), id, id + 4);
}

// An 8 kHz mono 8-bit companded WAV, with the 18-byte format chunk and the
// fact chunk that non-PCM WAV files carry.
Bytes wav_copy(const Bytes& payload, std::uint16_t tag)
{
    Bytes samples = payload;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2)
        std::swap(samples[i], samples[i + 1]);
    const auto count = static_cast<std::uint32_t>(samples.size());
    const std::uint32_t padded = count + (count & 1);
    Bytes wav;
    put_id(wav, "RIFF");
    put32(wav, 4 + (8 + 18) + (8 + 4) + 8 + padded);
    put_id(wav, "WAVE");
    put_id(wav, "fmt ");
    put32(wav, 18);
    put16(wav, tag);
    put16(wav, 1);
    put32(wav, SAMPLE_RATE);
    put32(wav, SAMPLE_RATE);
    put16(wav, 1);
    put16(wav, 8);
    put16(wav, 0);
    put_id(wav, "fact");
    put32(wav, 4);
    put32(wav, count);
    put_id(wav, "data");
    put32(wav, count);
    wav.insert(wav.end(), samples.begin(), samples.end());
    if (count & 1)
        wav.push_back(0);
    return wav;
}

Bytes gsm_copy(const Bytes& payload)
{
    Bytes frames;
    for (std::size_t at = 0; at + GSM_RECORD <= payload.size(); at += GSM_RECORD)
        frames.insert(frames.end(), payload.begin() + static_cast<std::ptrdiff_t>(at),
                      payload.begin() + static_cast<std::ptrdiff_t>(at + GSM_FRAME));
    return frames;
}

// The format tag of a WAV file's "fmt " chunk, or 0.
std::uint16_t wav_format_tag(const Bytes& wav)
{
    auto u32 = [&](std::size_t at) {
        return std::uint32_t{wav[at]} | std::uint32_t{wav[at + 1]} << 8 |
               std::uint32_t{wav[at + 2]} << 16 | std::uint32_t{wav[at + 3]} << 24;
    };
    if (wav.size() < 12 || std::memcmp(wav.data() + 8, "WAVE", 4) != 0)
        return 0;
    std::size_t at = 12;
    while (at + 8 <= wav.size()) {
        const std::uint64_t size = u32(at + 4);
        if (std::memcmp(wav.data() + at, "fmt ", 4) == 0)
            return at + 10 <= wav.size() ? static_cast<std::uint16_t>(wav[at + 8] | wav[at + 9] << 8) : 0;
        const std::uint64_t next = at + 8 + size + (size & 1);
        if (next > wav.size())
            return 0;
        at = static_cast<std::size_t>(next);
    }
    return 0;
}

std::uint8_t stored_format(const std::string& folder, int number)
{
    Bytes copy;
    if (read_file(message_path(folder, number, ".gsm"), copy))
        return FORMAT_GSM;
    if (!read_file(message_path(folder, number, ".wav"), copy))
        return 0;
    switch (wav_format_tag(copy)) {
    case WAV_TAG_ALAW:
        return FORMAT_ALAW;
    case WAV_TAG_MULAW:
        return FORMAT_MULAW;
    default:
        return 0;
    }
}

void store(const std::string& folder, int number, const SimMessage& message, const Report& report)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        report("cannot create " + folder + ": " + error.message());
        return;
    }
    if (!write_atomically(message_path(folder, number, ".bin"), message.payload, report))
        return;
    const fs::path wav = message_path(folder, number, ".wav");
    const fs::path gsm = message_path(folder, number, ".gsm");
    switch (message.format) {
    case FORMAT_ALAW:
    case FORMAT_MULAW:
        write_atomically(wav, wav_copy(message.payload, message.format == FORMAT_ALAW ? WAV_TAG_ALAW
                                                                                      : WAV_TAG_MULAW),
                         report);
        remove_file(gsm, report);
        break;
    case FORMAT_GSM:
        write_atomically(gsm, gsm_copy(message.payload), report);
        remove_file(wav, report);
        break;
    default:
        remove_file(wav, report);
        remove_file(gsm, report);
        break;
    }
}

void erase(const std::string& folder, const Report& report)
{
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error)
        return;
    std::vector<fs::path> messages;
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (number_of(name, ".bin") >= 0 || number_of(name, ".wav") >= 0 || number_of(name, ".gsm") >= 0)
            messages.push_back(entry.path());
    }
    for (const fs::path& path : messages)
        remove_file(path, report);
}

}  // namespace

int board_memory_open(SimBoard& board, const std::string& folder, const Report& report)
{
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (fs::exists(status)) {
        if (!fs::is_directory(status)) {
            report(folder + " is not a folder");
            return 1;
        }
        fs::directory_iterator entries(folder, error);
        if (error) {
            report("cannot read " + folder + ": " + error.message());
            return 1;
        }
        for (const fs::directory_entry& entry : entries) {
            const int number = number_of(entry.path().filename().string(), ".bin");
            if (number < 0)
                continue;
            SimMessage message;
            if (!read_file(entry.path(), message.payload)) {
                report("cannot read " + entry.path().string());
                continue;
            }
            message.format = stored_format(folder, number);
            board.messages[number] = std::move(message);
        }
    }
    board.on_store = [folder, report](int number, const SimMessage& message) {
        store(folder, number, message, report);
    };
    board.on_erase = [folder, report] { erase(folder, report); };
    return 0;
}
