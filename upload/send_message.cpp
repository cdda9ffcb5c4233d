#include <cstdint>
#include <cstring>

#include "console/terminal.h"
#include "upload/upload.h"

namespace {

constexpr std::uint32_t UPLOAD_TIMEOUT_MS = 1000;
constexpr std::uint8_t START_MARKER = 0x3E;
constexpr std::int64_t BLOCK_SIZE = 16;

const char USB_FAILURE_LINE[] = "\nFalha na comunicacao USB - verifique a instalacao";

// Full blocks and tail of a payload of n bytes; the tail takes the byte after
// an odd payload so that an even count travels. 64 bits so that n + 1 cannot
// overflow.
struct PayloadShape {
    std::int64_t blocks;
    std::int64_t tail;
};

PayloadShape shape_of(std::int64_t n)
{
    const std::int64_t rest = n % BLOCK_SIZE;
    return PayloadShape{n / BLOCK_SIZE, rest + (rest & 1)};
}

// Index of the first byte where the echo differs from what was sent, or -1.
std::int64_t first_difference(const std::uint8_t* sent, const std::uint8_t* echo, std::int64_t count)
{
    for (std::int64_t i = 0; i < count; ++i)
        if (sent[i] != echo[i])
            return i;
    return -1;
}

}  // namespace

int send_message(BoardLink& link, FileKind kind, int number, std::uint8_t format,
                 const std::uint8_t* payload, std::int32_t n, const char* file_name,
                 const char* label)
{
    const bool wav = kind == FileKind::WAV;
    const auto number_byte = static_cast<std::uint8_t>(number);
    std::uint8_t command[4];
    // Filled with what the number echo can never be, so that an echo that does
    // not arrive is always a mismatch.
    std::uint8_t received[BLOCK_SIZE];
    std::memset(received, static_cast<std::uint8_t>(~number_byte), sizeof received);
    std::uint32_t count = 0;

    board_set_timeouts(link, UPLOAD_TIMEOUT_MS, UPLOAD_TIMEOUT_MS);
    board_purge_rx(link);

    std::memset(command, START_MARKER, 3);
    board_write(link, command, 3);

    command[0] = number_byte;
    board_write(link, command, 1);
    DriverStatus status = board_read(link, received, 1, &count);
    if (received[0] != number_byte) {
        if (wav)
            term_print("\nErro escrevendo o numero da mensagem %d != %d ", received[0], number_byte);
        else
            term_print("\nMensagem %d", received[0]);
        if (wav && status != DRV_OK)
            term_print("%s", USB_FAILURE_LINE);
        return UPLOAD_HEADER_FAILED;
    }

    command[0] = format;
    board_write(link, command, 1);
    status = board_read(link, received, 1, &count);
    if (received[0] != format) {
        if (wav)
            term_print("\nErro recebendo formato da mensagem %d != %d", received[0], format);
        else
            term_print("\nFormato %d", received[0]);
        if (wav && status != DRV_OK)
            term_print("%s", USB_FAILURE_LINE);
        return UPLOAD_HEADER_FAILED;
    }

    std::int64_t length = n;
    const std::int64_t announced = length + (length & 1);
    const auto announced_bytes = static_cast<std::uint32_t>(announced);
    command[0] = static_cast<std::uint8_t>(announced_bytes >> 24);
    command[1] = static_cast<std::uint8_t>(announced_bytes >> 16);
    command[2] = static_cast<std::uint8_t>(announced_bytes >> 8);
    command[3] = static_cast<std::uint8_t>(announced_bytes);
    board_write(link, command, 4);

    // The answer's status and count do not matter: R is whatever the receive
    // buffer holds once the read is over.
    board_read(link, received, 4, &count);
    const auto answer = static_cast<std::int32_t>(
        (std::uint32_t{received[0]} << 24) | (std::uint32_t{received[1]} << 16) |
        (std::uint32_t{received[2]} << 8) | std::uint32_t{received[3]});
    // A negative answer describes no part of the payload; nothing of it may go out.
    if (answer < 0) {
        term_print("\nTamanho recusado pela placa %d", answer);
        return UPLOAD_HEADER_FAILED;
    }
    if (answer < announced)
        length = answer;
    const PayloadShape shape = shape_of(length);

    term_print("\n Enviando %s tamanho %ld ", file_name, static_cast<long>(answer));
    if (label != nullptr)
        term_print("%s", label);
    term_put_char('/');

    for (std::int64_t block = 0; block < shape.blocks; ++block) {
        term_put_char('\b');
        term_put_char(block % 2 == 0 ? '/' : '\\');
        const std::uint8_t* sent = payload + block * BLOCK_SIZE;
        if (board_write(link, sent, BLOCK_SIZE) != DRV_OK) {
            term_print(wav ? "\nNao conseguiu enviar amostra" : "\nNao conseguiu enviar");
            return UPLOAD_LINK_FAILED;
        }
        status = board_read(link, received, BLOCK_SIZE, &count);
        if (status != DRV_OK || count != BLOCK_SIZE) {
            term_print("\nNao recebeu eco %d  %d", static_cast<int>(status), static_cast<int>(count));
            return UPLOAD_LINK_FAILED;
        }
        const std::int64_t at = first_difference(sent, received, BLOCK_SIZE);
        if (at >= 0) {
            term_print("\nEnviou %x recebeu %x ", unsigned{sent[at]}, unsigned{received[at]});
            return UPLOAD_ECHO_DIFFERED;
        }
    }

    const std::uint8_t* tail = payload + shape.blocks * BLOCK_SIZE;
    const auto tail_length = static_cast<std::uint32_t>(shape.tail);
    if (board_write(link, tail, tail_length) != DRV_OK) {
        term_print("\nNao conseguiu enviar");
        return UPLOAD_LINK_FAILED;
    }
    status = board_read(link, received, tail_length, &count);
    if (status != DRV_OK || count != tail_length) {
        term_print("\nNao recebeu eco");
        return UPLOAD_LINK_FAILED;
    }
    const std::int64_t at = first_difference(tail, received, shape.tail);
    if (at >= 0) {
        term_print("\nEnviou %x recebeu %x ", unsigned{tail[at]}, unsigned{received[at]});
        return UPLOAD_ECHO_DIFFERED;
    }
    return UPLOAD_OK;
}
