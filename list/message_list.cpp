#include "list/message_list.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "console/terminal.h"
#include "list/message_number.h"
#include "upload/upload.h"

namespace {

constexpr int MOST_LINES = 60;
// One line: 99 characters and the terminator.
constexpr std::size_t LINE_SIZE = 100;
// The colon that makes an entry stands among the first five characters.
constexpr std::size_t COLON_REACH = 5;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The next line of a text file, like fgets: at most size - 1 characters, the
// line feed kept when it fits, the rest of a longer line left for the next
// read. A carriage return right before a line feed is part of the line end on
// every platform, so it is taken with the line feed as one '\n' and counts as
// one character, as text mode does where it translates line ends. False when
// nothing could be read.
bool read_list_line(std::FILE* file, char* line, std::size_t size)
{
    std::size_t count = 0;
    while (count + 1 < size) {
        int c = std::getc(file);
        if (c == EOF)
            break;
        if (c == '\r') {
            const int next = std::getc(file);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, file);
        }
        line[count++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    line[count] = '\0';
    return count > 0;
}

// A directory opens for reading here but holds no lines: it is no list file.
bool is_directory(std::FILE* file)
{
    struct stat info {};
    return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int upload_message_file(BoardLink& link, const char* file_name, int number)
{
    if (std::strstr(file_name, ".gsm") != nullptr || std::strstr(file_name, ".GSM") != nullptr)
        return upload_gsm_file(link, file_name, number);
    return upload_wav_file(link, file_name, number);
}

int load_message_list(BoardLink& link, const char* list_file_name)
{
    std::unique_ptr<std::FILE, FileCloser> list(std::fopen(list_file_name, "r"));
    if (!list || is_directory(list.get())) {
        term_print("\nNao consegui abrir arquivo \"%s\"", list_file_name);
        return UPLOAD_OPEN_FAILED;
    }

    int errors = 0;
    // Entries without a number before any entry that had one go to message 0.
    int number = 0;
    char line[LINE_SIZE];
    for (int lines = 0; lines < MOST_LINES; ++lines) {
        if (!read_list_line(list.get(), line, sizeof line))
            break;
        std::size_t length = std::strlen(line);
        if (length > 0 && line[length - 1] == '\n')
            line[--length] = '\0';
        if (line[0] == '*')
            continue;
        const char* colon = static_cast<const char*>(
            std::memchr(line, ':', length < COLON_REACH ? length : COLON_REACH));
        if (colon == nullptr)
            continue;

        read_message_number(line, static_cast<std::size_t>(colon - line), number);
        const char* file_name = colon + 1;
        const int result = upload_message_file(link, file_name, number);
        if (result == UPLOAD_OK) {
            term_print("OK");
            continue;
        }
        ++errors;
        term_print("\nErro: %d", result);
        term_print("\n%d:%s nao enviado", number, file_name);
        if (result != UPLOAD_OPEN_FAILED && result != UPLOAD_REFUSED)
            return result;
    }

    if (errors > 0)
        term_print("\n\n  Ocorreu ERRO em %d mensagens !!!!\n\n", errors);
    return UPLOAD_OK;
}
