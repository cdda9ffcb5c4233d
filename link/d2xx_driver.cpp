// The driver over FTDI's D2XX library, loaded at run time so that the program
// builds and starts without it: a missing library reads as no board attached.
// The declarations follow FTDI's published D2XX programmer's guide; FT_STATUS,
// DWORD and ULONG are 32-bit on every platform that D2XX supports.

#include "link/d2xx_driver.h"

#include <cstdint>
#include <string>

#include "link/dynamic_library.h"
#include "link/ftdi_driver.h"
#include "link/input_wait.h"

#if defined(_WIN32)
#define D2XX_CALL __stdcall
#else
#define D2XX_CALL
#endif

namespace {

using FtStatus = std::uint32_t;
using FtHandle = void*;

using FtOpen = FtStatus(D2XX_CALL*)(int device_number, FtHandle* handle);
using FtClose = FtStatus(D2XX_CALL*)(FtHandle handle);
using FtRead = FtStatus(D2XX_CALL*)(FtHandle handle, void* buffer, std::uint32_t bytes_to_read,
                                    std::uint32_t* bytes_returned);
using FtWrite = FtStatus(D2XX_CALL*)(FtHandle handle, void* buffer, std::uint32_t bytes_to_write,
                                     std::uint32_t* bytes_written);
using FtGetStatus = FtStatus(D2XX_CALL*)(FtHandle handle, std::uint32_t* rx_bytes,
                                         std::uint32_t* tx_bytes, std::uint32_t* event_dword);
using FtPurge = FtStatus(D2XX_CALL*)(FtHandle handle, std::uint32_t mask);
using FtSetTimeouts = FtStatus(D2XX_CALL*)(FtHandle handle, std::uint32_t read_timeout,
                                           std::uint32_t write_timeout);
using FtSetBaudRate = FtStatus(D2XX_CALL*)(FtHandle handle, std::uint32_t baud_rate);
using FtSetDataCharacteristics = FtStatus(D2XX_CALL*)(FtHandle handle, unsigned char word_length,
                                                      unsigned char stop_bits, unsigned char parity);
using FtSetLatencyTimer = FtStatus(D2XX_CALL*)(FtHandle handle, unsigned char latency);

struct D2xx {
    DynamicLibrary library = nullptr;
    FtOpen open = nullptr;
    FtClose close = nullptr;
    FtRead read = nullptr;
    FtWrite write = nullptr;
    FtGetStatus get_status = nullptr;
    FtPurge purge = nullptr;
    FtSetTimeouts set_timeouts = nullptr;
    FtSetBaudRate set_baud_rate = nullptr;
    FtSetDataCharacteristics set_data_characteristics = nullptr;
    FtSetLatencyTimer set_latency_timer = nullptr;
};

#if defined(_WIN32)
constexpr char DEFAULT_LIBRARY[] = "FTD2XX.dll";
#else
constexpr char DEFAULT_LIBRARY[] = "libftd2xx.so";
#endif

std::string library_path = DEFAULT_LIBRARY;
D2xx d2xx;
int open_devices = 0;

template <typename Function>
bool find(Function& function, const char* name)
{
    function = reinterpret_cast<Function>(library_symbol(d2xx.library, name));
    return function != nullptr;
}

// The library stays loaded once found: D2XX keeps threads of its own, and
// letting it go while they run is not safe.
bool loaded()
{
    if (d2xx.library != nullptr)
        return true;
    d2xx.library = load_library(library_path.c_str());
    if (d2xx.library == nullptr)
        return false;
    const bool complete =
        find(d2xx.open, "FT_Open") && find(d2xx.close, "FT_Close") && find(d2xx.read, "FT_Read") &&
        find(d2xx.write, "FT_Write") && find(d2xx.get_status, "FT_GetStatus") &&
        find(d2xx.purge, "FT_Purge") && find(d2xx.set_timeouts, "FT_SetTimeouts") &&
        find(d2xx.set_baud_rate, "FT_SetBaudRate") &&
        find(d2xx.set_data_characteristics, "FT_SetDataCharacteristics") &&
        find(d2xx.set_latency_timer, "FT_SetLatencyTimer");
    if (!complete) {
        unload_library(d2xx.library);
        d2xx = D2xx{};
    }
    return complete;
}

bool usable(DriverHandle handle)
{
    return handle != nullptr && d2xx.library != nullptr;
}

}  // namespace

void d2xx_set_library_path(const char* path)
{
    if (d2xx.library != nullptr && open_devices == 0) {
        unload_library(d2xx.library);
        d2xx = D2xx{};
    }
    library_path = path != nullptr ? path : DEFAULT_LIBRARY;
}

DriverStatus drv_open(int index, DriverHandle* handle)
{
    if (!loaded())
        return DRV_DEVICE_NOT_FOUND;
    const FtStatus status = d2xx.open(index, handle);
    if (status == DRV_OK)
        ++open_devices;
    return status;
}

DriverStatus drv_close(DriverHandle handle)
{
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    const FtStatus status = d2xx.close(handle);
    if (status == DRV_OK)
        --open_devices;
    return status;
}

DriverStatus drv_read(DriverHandle handle, void* buffer, std::uint32_t count, std::uint32_t* read)
{
    *read = 0;
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    if (count == 0)
        return DRV_OK;
    return d2xx.read(handle, buffer, count, read);
}

DriverStatus drv_write(DriverHandle handle, const void* buffer, std::uint32_t count,
                       std::uint32_t* written)
{
    *written = 0;
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    if (count == 0)
        return DRV_OK;
    // FT_Write only reads the buffer; its declaration just lacks the const.
    return d2xx.write(handle, const_cast<void*>(buffer), count, written);
}

DriverStatus drv_get_status(DriverHandle handle, std::uint32_t* rx_queue, std::uint32_t* tx_queue,
                            std::uint32_t* event_status)
{
    *rx_queue = 0;
    *tx_queue = 0;
    *event_status = 0;
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    return d2xx.get_status(handle, rx_queue, tx_queue, event_status);
}

DriverStatus drv_purge(DriverHandle handle, std::uint32_t mask)
{
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    return d2xx.purge(handle, mask);
}

DriverStatus drv_set_timeouts(DriverHandle handle, std::uint32_t read_ms, std::uint32_t write_ms)
{
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    return d2xx.set_timeouts(handle, read_ms, write_ms);
}

DriverStatus drv_set_baud_rate(DriverHandle handle, std::uint32_t baud)
{
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    return d2xx.set_baud_rate(handle, baud);
}

DriverStatus drv_set_data_characteristics(DriverHandle handle, std::uint8_t word_length,
                                          std::uint8_t stop_bits, std::uint8_t parity)
{
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    return d2xx.set_data_characteristics(handle, word_length, stop_bits, parity);
}

DriverStatus drv_set_latency_timer(DriverHandle handle, std::uint8_t ms)
{
    if (!usable(handle))
        return DRV_INVALID_HANDLE;
    return d2xx.set_latency_timer(handle, ms);
}

// D2XX has no descriptor to wait on, so the idle console looks again after
// at most 1 ms.
DriverStatus drv_wait_readable(DriverHandle handle, std::intptr_t key_wait, std::uint32_t max_ms)
{
    std::uint32_t rx_queue = 0;
    std::uint32_t tx_queue = 0;
    std::uint32_t event_status = 0;
    const DriverStatus status = drv_get_status(handle, &rx_queue, &tx_queue, &event_status);
    if (status != DRV_OK || rx_queue > 0 || max_ms == 0)
        return status;
    wait_for_input(key_wait, 1);
    return DRV_OK;
}
