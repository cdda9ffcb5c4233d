// A driver backend whose board takes every upload whole and keeps nothing: it
// echoes the number, the format and every payload byte, answers the announced
// length with itself, and says nothing else. Its memory does not grow with
// the payload, so a process that uses it shows the host's memory alone.

#include <array>
#include <cstdint>

#include "bench/echo_board.h"
#include "link/ftdi_driver.h"
#include "link/input_wait.h"

namespace {

enum class State { Idle, Number, Format, Length, Payload };

struct EchoBoard {
    State state = State::Idle;
    int markers = 0;
    std::uint8_t length[4] = {};
    int length_bytes = 0;
    std::uint32_t remaining = 0;
    std::uint32_t announced = 0;
    std::array<std::uint8_t, 64> answers{};  // never more than a block's echo waits
    std::size_t first = 0;
    std::size_t waiting = 0;
    EchoBoardCount count;
};

EchoBoard board;
int handle_tag;

void answer(std::uint8_t byte)
{
    board.answers[(board.first + board.waiting) % board.answers.size()] = byte;
    ++board.waiting;
}

void finish_upload()
{
    board.state = State::Idle;
    ++board.count.uploads;
    board.count.payload_bytes += board.announced;
}

void receive(std::uint8_t byte)
{
    switch (board.state) {
    case State::Idle:
        board.markers = byte == '>' ? board.markers + 1 : 0;
        if (board.markers == 3) {
            board.markers = 0;
            board.state = State::Number;
        }
        return;
    case State::Number:
        answer(byte);
        board.state = State::Format;
        return;
    case State::Format:
        answer(byte);
        board.length_bytes = 0;
        board.state = State::Length;
        return;
    case State::Length:
        board.length[board.length_bytes++] = byte;
        if (board.length_bytes < 4)
            return;
        for (std::uint8_t b : board.length)
            answer(b);
        board.announced = (std::uint32_t{board.length[0]} << 24) | (std::uint32_t{board.length[1]} << 16) |
                          (std::uint32_t{board.length[2]} << 8) | std::uint32_t{board.length[3]};
        board.remaining = board.announced;
        board.state = State::Payload;
        if (board.remaining == 0)
            finish_upload();
        return;
    case State::Payload:
        answer(byte);
        if (--board.remaining == 0)
            finish_upload();
        return;
    }
}

}  // namespace

EchoBoardCount echo_board_count()
{
    return board.count;
}

DriverStatus drv_open(int index, DriverHandle* handle)
{
    if (index != 0)
        return DRV_DEVICE_NOT_FOUND;
    *handle = &handle_tag;
    return DRV_OK;
}

DriverStatus drv_close(DriverHandle)
{
    return DRV_OK;
}

DriverStatus drv_read(DriverHandle, void* buffer, std::uint32_t count, std::uint32_t* read)
{
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint32_t taken = 0;
    while (taken < count && board.waiting > 0) {
        bytes[taken++] = board.answers[board.first];
        board.first = (board.first + 1) % board.answers.size();
        --board.waiting;
    }
    *read = taken;
    return DRV_OK;
}

DriverStatus drv_write(DriverHandle, const void* buffer, std::uint32_t count, std::uint32_t* written)
{
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    for (std::uint32_t i = 0; i < count; ++i)
        receive(bytes[i]);
    *written = count;
    return DRV_OK;
}

DriverStatus drv_get_status(DriverHandle, std::uint32_t* rx_queue, std::uint32_t* tx_queue,
                            std::uint32_t* event_status)
{
    *rx_queue = static_cast<std::uint32_t>(board.waiting);
    *tx_queue = 0;
    *event_status = 0;
    return DRV_OK;
}

DriverStatus drv_purge(DriverHandle, std::uint32_t mask)
{
    if ((mask & DRV_PURGE_RX) != 0)
        board.waiting = 0;
    return DRV_OK;
}

DriverStatus drv_set_timeouts(DriverHandle, std::uint32_t, std::uint32_t)
{
    return DRV_OK;
}

DriverStatus drv_set_baud_rate(DriverHandle, std::uint32_t)
{
    return DRV_OK;
}

DriverStatus drv_set_data_characteristics(DriverHandle, std::uint8_t, std::uint8_t, std::uint8_t)
{
    return DRV_OK;
}

DriverStatus drv_set_latency_timer(DriverHandle, std::uint8_t)
{
    return DRV_OK;
}

DriverStatus drv_wait_readable(DriverHandle, std::intptr_t key_wait, std::uint32_t max_ms)
{
    if (board.waiting == 0)
        wait_for_input(key_wait, max_ms);
    return DRV_OK;
}
