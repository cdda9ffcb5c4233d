#pragma once
// The driver interface: a small D2XX-style API of our own. Every call returns
// the driver's 32-bit status, 0 for success, any other value the driver's own
// error code, passed on unchanged. Exactly one backend defines these functions;
// the executable chooses it at link time.

#include <cstdint>

using DriverStatus = std::uint32_t;
using DriverHandle = void*;

constexpr DriverStatus DRV_OK = 0;
// Codes that mirror D2XX's, for backends that have to invent a status.
constexpr DriverStatus DRV_INVALID_HANDLE = 1;
constexpr DriverStatus DRV_DEVICE_NOT_FOUND = 2;
constexpr DriverStatus DRV_DEVICE_NOT_OPENED = 3;
constexpr DriverStatus DRV_IO_ERROR = 4;
constexpr DriverStatus DRV_INVALID_PARAMETER = 6;
constexpr DriverStatus DRV_INVALID_BAUD_RATE = 7;
constexpr DriverStatus DRV_OTHER_ERROR = 18;
constexpr DriverStatus DRV_NOT_SUPPORTED = 17;

constexpr std::uint32_t DRV_PURGE_RX = 1;
constexpr std::uint32_t DRV_PURGE_TX = 2;

// Data characteristics, in the driver's codes.
constexpr std::uint8_t DRV_BITS_8 = 8;
constexpr std::uint8_t DRV_STOP_BITS_1 = 0;
constexpr std::uint8_t DRV_PARITY_NONE = 0;

DriverStatus drv_open(int index, DriverHandle* handle);
DriverStatus drv_close(DriverHandle handle);
// Returns when count bytes have arrived or the read time-out in force has run
// out; a time-out is status 0 with *read < count.
DriverStatus drv_read(DriverHandle handle, void* buffer, std::uint32_t count, std::uint32_t* read);
DriverStatus drv_write(DriverHandle handle, const void* buffer, std::uint32_t count,
                       std::uint32_t* written);
DriverStatus drv_get_status(DriverHandle handle, std::uint32_t* rx_queue, std::uint32_t* tx_queue,
                            std::uint32_t* event_status);
DriverStatus drv_purge(DriverHandle handle, std::uint32_t mask);
DriverStatus drv_set_timeouts(DriverHandle handle, std::uint32_t read_ms, std::uint32_t write_ms);
DriverStatus drv_set_baud_rate(DriverHandle handle, std::uint32_t baud);
DriverStatus drv_set_data_characteristics(DriverHandle handle, std::uint8_t word_length,
                                          std::uint8_t stop_bits, std::uint8_t parity);
DriverStatus drv_set_latency_timer(DriverHandle handle, std::uint8_t ms);

// Waits until the receive queue holds a byte, the operator's input has
// something (key_wait: what term_wait_object gives, -1 for none), or max_ms
// milliseconds have passed, whichever comes first. Used by the idle console
// so that it does not spin; a backend that cannot signal readiness waits at
// most 1 ms. Not a D2XX call of its own.
DriverStatus drv_wait_readable(DriverHandle handle, std::intptr_t key_wait, std::uint32_t max_ms);
