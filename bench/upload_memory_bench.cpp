// Peak memory of a WAV upload through the operator console: key 3, message 5,
// a generated mono 16-bit PCM file (50 MB unless a size in MB is given), then
// Esc, against a board that keeps nothing (echo_board_driver.cpp), so that the
// process's memory is the host's own. The uploader holds the data chunk in one
// payload buffer (data size + 256 bytes) and converts it in place; the peak
// resident set grows by that buffer and by nothing of the payload's size
// besides. Prints the growth over the buffer size: about 1.0, where a second
// copy of the audio would show as 1.5 or more.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "bench/echo_board.h"
#include "console/console.h"
#include "console/terminal.h"

namespace {

void put_le(std::vector<std::uint8_t>& bytes, std::uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Written in pieces, so that making the file costs no memory of its size.
bool write_wav(const std::string& path, std::uint32_t data_size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::vector<std::uint8_t> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    put_le(header, 36 + data_size, 4);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put_le(header, 16, 4);
    put_le(header, 1, 2);      // linear PCM
    put_le(header, 1, 2);      // mono
    put_le(header, 8000, 4);   // sample rate
    put_le(header, 16000, 4);  // byte rate
    put_le(header, 2, 2);      // block align
    put_le(header, 16, 2);     // bits per sample
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    put_le(header, data_size, 4);
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    std::vector<std::uint8_t> piece(65536);
    std::uint32_t state = 1;
    for (std::uint32_t written = 0; ok && written < data_size;) {
        for (std::uint8_t& byte : piece) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
        const std::uint32_t step = std::min<std::uint32_t>(data_size - written, 65536);
        ok = std::fwrite(piece.data(), 1, step, file) == step;
        written += step;
    }
    return std::fclose(file) == 0 && ok;
}

long peak_rss_kib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv)
{
    const double megabytes = argc > 1 ? std::strtod(argv[1], nullptr) : 50.0;
    const auto data_size = static_cast<std::uint32_t>(megabytes * 1024 * 1024) & ~1u;

    char pattern[] = "/tmp/mensagens-memory-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const std::string dir = pattern;
    const std::string wav = dir + "/grande.wav";
    if (!write_wav(wav, data_size)) {
        (void)std::fprintf(stderr, "could not write %s\n", wav.c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }

    const std::string keys = "3" "5\n" + wav + "\n" "\x1b";
    const int in_fd = memfd_create("keys", 0);
    const int out_fd = open("/dev/null", O_WRONLY);
    if (in_fd < 0 || out_fd < 0 || write(in_fd, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
        return 1;
    lseek(in_fd, 0, SEEK_SET);
    term_set_fds(in_fd, out_fd);

    const long before_kib = peak_rss_kib();
    run_console();
    const long after_kib = peak_rss_kib();
    close(in_fd);
    close(out_fd);
    std::filesystem::remove_all(dir);

    const EchoBoardCount count = echo_board_count();
    const double file_mib = static_cast<double>(data_size + 44) / (1024.0 * 1024.0);
    const double buffer_mib = static_cast<double>(data_size + 256) / (1024.0 * 1024.0);
    const double growth_mib = static_cast<double>(after_kib - before_kib) / 1024.0;
    std::printf("WAV upload of %.1f MiB (PCM, %.1f MiB payload to the board): %s\n", file_mib,
                static_cast<double>(count.payload_bytes) / (1024.0 * 1024.0),
                count.uploads == 1 ? "uploaded" : "FAILED");
    std::printf("peak resident set %.1f MiB (%.3f of the file), %.1f MiB above the start; payload buffer "
                "%.1f MiB; growth/buffer %.3f (goal: about 1, no second copy)\n",
                static_cast<double>(after_kib) / 1024.0, static_cast<double>(after_kib) / 1024.0 / file_mib,
                growth_mib, buffer_mib, growth_mib / buffer_mib);
    return count.uploads == 1 ? 0 : 1;
}
