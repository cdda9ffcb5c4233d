#include "tests/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/mman.h>
#include <unistd.h>

#include "console/console.h"
#include "console/terminal.h"

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

std::string read_all(int fd)
{
    std::string text;
    lseek(fd, 0, SEEK_SET);
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<std::size_t>(got));
    return text;
}

}  // namespace

CapturedRun run_with_terminal(const std::string& input, const std::function<int()>& body)
{
    // The input lives in a file, so any amount of it is there at once and its
    // end reads as the end of input, as a pipe's closed end does.
    const int in_fd = memfd_create("keys", 0);
    const int out_fd = memfd_create("screen", 0);
    if (write(in_fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        std::abort();
    lseek(in_fd, 0, SEEK_SET);
    recorded_pauses().clear();
    term_set_pause_function(record_pause);
    term_set_fds(in_fd, out_fd);
    term_init();
    CapturedRun run;
    run.result = body();
    term_shutdown();
    term_set_fds(0, 1);
    term_set_pause_function(nullptr);
    run.output = read_all(out_fd);
    close(in_fd);
    close(out_fd);
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
    char pattern[] = "/tmp/mensagens-test-XXXXXX";
    path = mkdtemp(pattern);
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
