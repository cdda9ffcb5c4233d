#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "console/terminal.h"
#include "sim/sim_world.h"

// The uploaders take their payload buffer with calloc, which the fuzz targets
// are linked to reach through here (--wrap=calloc). A file may claim a data
// chunk of up to 4 GiB; beyond FUZZ_HEAP_LIMIT the request fails as on a
// machine without that memory, and the uploader must refuse the file. Below
// it the claim is worked through in full, so the limit bounds the time one
// input may take.
// The names are the linker's own for --wrap.
extern "C" void* __real_calloc(std::size_t count, std::size_t size);  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" void* __wrap_calloc(std::size_t count, std::size_t size)   // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
{
    if (size != 0 && count > FUZZ_HEAP_LIMIT / size)
        return nullptr;
    return __real_calloc(count, size);
}

namespace {

std::string scratch;
std::string path_buffer;
int home_fd = -1;

void remove_scratch()
{
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

void fuzz_setup()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/mensagens-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        fuzz_fail("no scratch directory", 0);
    scratch = pattern;
    if (std::atexit(remove_scratch) != 0)
        fuzz_fail("cannot arrange the scratch directory's removal", 0);
    home_fd = open(".", O_RDONLY | O_DIRECTORY);
    if (home_fd < 0)
        fuzz_fail("no current directory", 0);

    // A list may name /dev/stdin: it reads nothing there rather than waiting.
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd < 0 || dup2(null_fd, 0) < 0)
        fuzz_fail("no /dev/null", 0);
    term_set_fds(null_fd, null_fd);
}

const char* fuzz_path(const char* name)
{
    path_buffer = scratch + "/" + name;
    return path_buffer.c_str();
}

void fuzz_write_file(const char* name, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(fuzz_path(name), "wb");
    if (file == nullptr)
        fuzz_fail("cannot write the input file", 0);
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        fuzz_fail("cannot write the input file", 0);
    if (std::fclose(file) != 0)
        fuzz_fail("cannot write the input file", 0);
}

void fuzz_open_board(BoardLink& link)
{
    sim_reset();
    SimWorld& world = sim_world();
    world.record_calls = false;
    world.board.capacity = FUZZ_BOARD_CAPACITY;
    if (open_board(link) != 0)
        fuzz_fail("the simulated board did not open", 0);
}

int fuzz_lowest_free_descriptor()
{
    const int fd = dup(0);
    close(fd);
    return fd;
}

void fuzz_enter_scratch()
{
    if (chdir(scratch.c_str()) != 0)
        fuzz_fail("cannot enter the scratch directory", 0);
}

void fuzz_leave_scratch()
{
    if (fchdir(home_fd) != 0)
        fuzz_fail("cannot leave the scratch directory", 0);
}

void fuzz_fail(const char* what, int value)
{
    // Back where the fuzzer started, so that it keeps the input there.
    if (home_fd >= 0 && fchdir(home_fd) != 0)
        (void)std::fprintf(stderr, "\n*** cannot leave the scratch directory\n");
    (void)std::fprintf(stderr, "\n*** %s (%d)\n", what, value);
    std::abort();
}
