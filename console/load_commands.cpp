#include "console/load_commands.h"

#include <cstring>

#include "console/terminal.h"
#include "list/message_list.h"
#include "list/message_number.h"
#include "upload/upload.h"

namespace {

// One typed line: 255 characters and the terminator.
constexpr std::size_t LINE_SIZE = 256;
constexpr std::uint8_t CLOSING_BYTE = 0x3C;

// The byte goes out from the exchange buffer's start, where the console's end
// test looks next; its status is of no interest.
void close_load(BoardLink& link, std::uint8_t* exchange)
{
    exchange[0] = CLOSING_BYTE;
    board_write(link, exchange, 1);
}

// Prompts for a file name and reads it, cut at its first newline. False at
// end of input or on an error.
bool read_file_name(char (&line)[LINE_SIZE])
{
    term_print("\n\nNome do arquivo: ");
    if (!term_read_line(line, sizeof line))
        return false;
    line[std::strcspn(line, "\n")] = '\0';
    return true;
}

}  // namespace

void load_default_list(BoardLink& link, std::uint8_t* exchange)
{
    const int result = load_message_list(link, "kiru.cfg");
    if (result != 0) {
        term_print("\n\nErro: %d", result);
        return;
    }
    term_print("\n\n Mensagens enviadas. ");
    close_load(link, exchange);
}

void load_named_list(BoardLink& link, std::uint8_t* exchange)
{
    char name[LINE_SIZE] = {};
    if (!read_file_name(name))
        return;
    const int result = load_message_list(link, name);
    if (result != 0) {
        term_print("\n\nErro: %d", result);
        return;
    }
    term_print("\n\n Mensagens enviadas.");
    close_load(link, exchange);
}

void load_one_message(BoardLink& link, std::uint8_t* exchange)
{
    term_print("\n\nNumero da mensagem: ");
    int number = 0;
    char line[LINE_SIZE] = {};
    if (term_read_line(line, sizeof line))
        read_message_number(line, sizeof line, number);

    if (!read_file_name(line))
        return;
    const int result = upload_message_file(link, line, number);
    if (result != UPLOAD_OK) {
        term_print("\n\nOcorreu erro durante a gravacao");
        return;
    }
    term_print("\n\n Mensagem enviada.");
    close_load(link, exchange);
}
