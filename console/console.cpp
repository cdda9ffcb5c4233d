#include "console/console.h"

#include <cstdint>
#include <cstring>

#include "console/load_commands.h"
#include "console/terminal.h"
#include "link/board_link.h"

namespace {

constexpr std::uint8_t ESC = 0x1B;

// Longest the idle loop sleeps before it looks again on its own.
constexpr std::uint32_t IDLE_WAIT_MS = 250;

void send(BoardLink& link, std::uint8_t* exchange, std::uint8_t byte, std::uint32_t count)
{
    std::memset(exchange, byte, count);
    board_write(link, exchange, count);
}

void echo(const std::uint8_t* bytes, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bytes[i] == 0x0D)
            term_print("\n");
        else
            term_put_char(static_cast<char>(bytes[i]));
    }
}

// The key's code is already in exchange[0]; codes 0x80 and up fall to the
// last row, as a signed byte would.
void act_on_key(BoardLink& link, std::uint8_t* exchange)
{
    switch (static_cast<std::int8_t>(exchange[0])) {
    case '1':
        load_default_list(link, exchange);
        break;
    case '2':
        load_named_list(link, exchange);
        break;
    case '3':
        load_one_message(link, exchange);
        break;
    case '4':
        term_print("\n\n Trava/Destrava. ");
        send(link, exchange, 0x43, 3);
        term_pause(100);
        print_menu();
        break;
    case '5':
        send(link, exchange, 0x2A, 1);
        term_pause(100);
        print_menu();
        break;
    case '8':
        send(link, exchange, 0x7B, 5);
        break;
    case '*':
    case 'Q':
    case 'R':
    case 'W':
    case 'q':
        board_write(link, exchange, 1);
        break;
    default:
        print_menu();
        break;
    }
}

// After a failure: one key, discarded, with nothing printed.
int fail_and_wait(const char* message)
{
    if (message != nullptr)
        term_print("%s", message);
    term_read_key();
    term_shutdown();
    return 0;
}

}  // namespace

void print_menu()
{
    term_print("\n\nComandos:");
    term_print("\n1: Carrega arquivo de configuracao padrao (kiru.cfg)");
    term_print("\n2: Carrega arquivo de configuracao generico");
    term_print("\n3: Carrega uma mensagem ");
    term_print("\n4: Destrava a protecao contra a programacao ");
    term_print("\n5: Mostra a versao de firmware ");
    term_print("\n8: Apaga todas as mensagens ");
    term_print("\nEsc: Sair");
    term_print("\n");
}

int run_console()
{
    term_init();
    std::uint8_t exchange[EXCHANGE_SIZE] = {};
    term_print("\n******* Mensagens quorvel - Versao 1.20 ********\n\n");
    BoardLink link;
    if (open_board(link) != 0)
        return fail_and_wait(nullptr);
    print_menu();
    send(link, exchange, 0x43, 3);

    for (;;) {
        std::uint32_t queued = 0;
        if (board_queued(link, &queued) != DRV_OK) {
            close_board(link);
            return fail_and_wait("\n\n  Nao conseguiu ler status do USB!!!");
        }
        std::uint32_t got = 0;
        if (queued > 0) {
            const std::uint32_t wanted = queued < EXCHANGE_SIZE ? queued : EXCHANGE_SIZE;
            if (board_read(link, exchange, wanted, &got) != DRV_OK) {
                close_board(link);
                return fail_and_wait("\n\n  Erro lendo USB!!!");
            }
            echo(exchange, got);
        }
        bool key_read = false;
        if (term_key_waiting()) {
            const int code = term_read_key();
            if (code < 0) {
                // The input has ended: nobody is left to press Esc.
                close_board(link);
                term_shutdown();
                return 0;
            }
            exchange[0] = static_cast<std::uint8_t>(code);
            act_on_key(link, exchange);
            key_read = true;
        }
        if (exchange[0] == ESC) {
            close_board(link);
            term_shutdown();
            return 0;
        }
        // Nothing happened in this pass: sleep until the board or the operator
        // has something, instead of spinning.
        if (got == 0 && !key_read)
            board_wait(link, term_wait_object(), IDLE_WAIT_MS);
    }
}
