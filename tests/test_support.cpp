#include "tests/test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "console/console.h"
#include "console/terminal.h"
#include "sim/sim_board.h"

const char* const BANNER_TEXT = "\n******* Mensagens quorvel - Versao 1.20 ********\n\n";
const char* const MENU_TEXT =
    "\n\nComandos:"
    "\n1: Carrega arquivo de configuracao padrao (kiru.cfg)"
    "\n2: Carrega arquivo de configuracao generico"
    "\n3: Carrega uma mensagem "
    "\n4: Destrava a protecao contra a programacao "
    "\n5: Mostra a versao de firmware "
    "\n8: Apaga todas as mensagens "
    "\nEsc: Sair"
    "\n";

std::vector<unsigned>& recorded_pauses()
{
    static std::vector<unsigned> pauses;
    return pauses;
}

namespace {

void record_pause(unsigned milliseconds)
{
    recorded_pauses().push_back(milliseconds);
}

// A name in the temporary directory that nothing has yet.
std::filesystem::path unused_temp_path(const char* prefix)
{
    static std::mt19937_64 generator{std::random_device{}()};
    for (;;) {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     (prefix + std::to_string(generator()));
        if (!std::filesystem::exists(path))
            return path;
    }
}

// A scratch file opened for reading and writing, removed when it goes.
struct TempFile {
    std::filesystem::path path = unused_temp_path("mensagens-test-");
    std::FILE* file = std::fopen(path.string().c_str(), "w+b");
    TempFile()
    {
        if (file == nullptr)
            std::abort();
    }
    ~TempFile()
    {
        (void)std::fclose(file);  // the file is removed next
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
};

std::string read_all(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    return text;
}

}  // namespace

CapturedRun run_with_terminal(const std::string& input, const std::function<int()>& body)
{
    // The input lives in a file, so any amount of it is there at once and its
    // end reads as the end of input, as a pipe's closed end does. The layer
    // reads and writes the descriptors underneath the streams.
    TempFile keys;
    TempFile screen;
    if (std::fwrite(input.data(), 1, input.size(), keys.file) != input.size() ||
        std::fflush(keys.file) != 0)
        std::abort();
    std::rewind(keys.file);
    recorded_pauses().clear();
    term_set_pause_function(record_pause);
    term_set_fds(fileno(keys.file), fileno(screen.file));
    term_init();
    CapturedRun run;
    run.result = body();
    term_shutdown();
    term_set_fds(0, 1);
    term_set_pause_function(nullptr);
    run.output = read_all(screen.file);
    return run;
}

CapturedRun run_console_with(const std::string& input)
{
    return run_with_terminal(input, [] { return run_console(); });
}

std::string as_text(const std::vector<unsigned char>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

ScratchDir::ScratchDir()
{
    std::filesystem::path made;
    do
        made = unused_temp_path("mensagens-test-");
    while (!std::filesystem::create_directory(made));
    path = made.string();
    previous = std::filesystem::current_path().string();
    std::filesystem::current_path(path);
}

ScratchDir::~ScratchDir()
{
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& bytes) const
{
    std::ofstream file(path + "/" + name, std::ios::binary);
    file << bytes;
}

void ScratchDir::write(const std::string& name, const std::vector<unsigned char>& bytes) const
{
    write(name, std::string(bytes.begin(), bytes.end()));
}

std::string shown(const std::string& board_line)
{
    std::string text = board_line;
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

std::string start_up()
{
    return std::string(BANNER_TEXT) + MENU_TEXT + shown(SIM_LINE_UNLOCKED);
}
