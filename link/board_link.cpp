#include "link/board_link.h"

#include "console/terminal.h"

int open_board(BoardLink& link)
{
    DriverHandle first = nullptr;
    if (drv_open(0, &first) != DRV_OK) {
        term_print("\n\n  Nao foi detectada nenhuma placa!!!");
        return 1;
    }
    DriverHandle second = nullptr;
    if (drv_open(1, &second) == DRV_OK) {
        drv_close(first);
        drv_close(second);
        term_print("\n\n  Foram detectadas mais de uma placa!!!");
        return 1;
    }
    drv_set_data_characteristics(first, DRV_BITS_8, DRV_STOP_BITS_1, DRV_PARITY_NONE);
    drv_set_latency_timer(first, 2);
    if (drv_set_baud_rate(first, 115200) != DRV_OK) {
        drv_close(first);
        term_print("\n\n  Nao conseguiu mudar Baudrate!!!");
        return 1;
    }
    link.handle = first;
    return 0;
}

void close_board(BoardLink& link)
{
    drv_close(link.handle);
    link.handle = nullptr;
}

DriverStatus board_write(BoardLink& link, const void* bytes, std::uint32_t count)
{
    std::uint32_t written = 0;
    return drv_write(link.handle, bytes, count, &written);
}

DriverStatus board_read(BoardLink& link, void* buffer, std::uint32_t count, std::uint32_t* read)
{
    *read = 0;
    return drv_read(link.handle, buffer, count, read);
}

DriverStatus board_queued(BoardLink& link, std::uint32_t* rx_queue)
{
    std::uint32_t tx_queue = 0;
    std::uint32_t event_status = 0;
    *rx_queue = 0;
    return drv_get_status(link.handle, rx_queue, &tx_queue, &event_status);
}

void board_purge_rx(BoardLink& link)
{
    drv_purge(link.handle, DRV_PURGE_RX);
}

void board_set_timeouts(BoardLink& link, std::uint32_t read_ms, std::uint32_t write_ms)
{
    drv_set_timeouts(link.handle, read_ms, write_ms);
}

DriverStatus board_wait(BoardLink& link, std::intptr_t key_wait, std::uint32_t max_ms)
{
    return drv_wait_readable(link.handle, key_wait, max_ms);
}
