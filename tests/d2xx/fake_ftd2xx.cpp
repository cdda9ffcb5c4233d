// A stand-in for FTDI's D2XX library, built by the tests: the FT_* calls the
// D2XX backend loads, with their documented signatures and status codes,
// over the simulated board. Calls are logged; the fake_* functions let the
// tests set it up and look inside.

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_board.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr std::uint32_t FT_OK = 0;
constexpr std::uint32_t FT_INVALID_HANDLE = 1;
constexpr std::uint32_t FT_DEVICE_NOT_FOUND = 2;
constexpr std::uint32_t FT_DEVICE_NOT_OPENED = 3;

constexpr int MAX_DEVICES = 4;

struct FakeDevice {
    bool open = false;
    std::deque<std::uint8_t> rx;
};

struct Fake {
    int devices = 1;
    FakeDevice device[MAX_DEVICES];
    SimBoard board;  // behind device 0
    std::map<std::string, std::uint32_t> failures;
    std::vector<std::string> log;
    std::string log_text;
};

Fake fake;

int index_of(void* handle)
{
    for (int i = 0; i < MAX_DEVICES; ++i)
        if (handle == &fake.device[i] && fake.device[i].open)
            return i;
    return -1;
}

std::uint32_t call(const char* function, const std::string& arguments, void* handle, bool needs_handle = true)
{
    std::uint32_t status = FT_OK;
    if (needs_handle && index_of(handle) < 0)
        status = FT_INVALID_HANDLE;
    const auto failure = fake.failures.find(function);
    if (status == FT_OK && failure != fake.failures.end())
        status = failure->second;
    std::string line = function;
    line += "(";
    if (needs_handle)
        line += "h" + std::to_string(index_of(handle)) + (arguments.empty() ? "" : ",");
    line += arguments + ")=" + std::to_string(status);
    fake.log.push_back(line);
    return status;
}

}  // namespace

FAKE_EXPORT std::uint32_t FT_Open(int device_number, void** handle)
{
    std::uint32_t status = call("FT_Open", std::to_string(device_number), nullptr, false);
    if (status == FT_OK && (device_number < 0 || device_number >= fake.devices))
        status = FT_DEVICE_NOT_FOUND;
    else if (status == FT_OK && fake.device[device_number].open)
        status = FT_DEVICE_NOT_OPENED;
    if (status == FT_OK) {
        fake.device[device_number].open = true;
        *handle = &fake.device[device_number];
    }
    fake.log.back() = "FT_Open(" + std::to_string(device_number) + ")=" + std::to_string(status);
    return status;
}

FAKE_EXPORT std::uint32_t FT_Close(void* handle)
{
    const std::uint32_t status = call("FT_Close", "", handle);
    if (status == FT_OK)
        static_cast<FakeDevice*>(handle)->open = false;
    return status;
}

FAKE_EXPORT std::uint32_t FT_Read(void* handle, void* buffer, std::uint32_t count, std::uint32_t* returned)
{
    const std::uint32_t status = call("FT_Read", std::to_string(count), handle);
    *returned = 0;
    if (status != FT_OK)
        return status;
    // Nothing more arrives while the fake waits: a short read is a time-out.
    std::deque<std::uint8_t>& rx = static_cast<FakeDevice*>(handle)->rx;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (*returned < count && !rx.empty()) {
        bytes[(*returned)++] = rx.front();
        rx.pop_front();
    }
    return status;
}

FAKE_EXPORT std::uint32_t FT_Write(void* handle, void* buffer, std::uint32_t count, std::uint32_t* written)
{
    const std::uint32_t status = call("FT_Write", std::to_string(count), handle);
    *written = 0;
    if (status != FT_OK)
        return status;
    FakeDevice& device = *static_cast<FakeDevice*>(handle);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::vector<std::uint8_t> answer;
    for (std::uint32_t i = 0; i < count; ++i)
        if (&device == &fake.device[0])
            sim_board_receive(fake.board, bytes[i], answer);
    device.rx.insert(device.rx.end(), answer.begin(), answer.end());
    *written = count;
    return status;
}

FAKE_EXPORT std::uint32_t FT_GetStatus(void* handle, std::uint32_t* rx_bytes, std::uint32_t* tx_bytes,
                                       std::uint32_t* event_dword)
{
    const std::uint32_t status = call("FT_GetStatus", "", handle);
    if (status == FT_OK) {
        *rx_bytes = static_cast<std::uint32_t>(static_cast<FakeDevice*>(handle)->rx.size());
        *tx_bytes = 0;
        *event_dword = 0;
    }
    return status;
}

FAKE_EXPORT std::uint32_t FT_Purge(void* handle, std::uint32_t mask)
{
    const std::uint32_t status = call("FT_Purge", std::to_string(mask), handle);
    if (status == FT_OK && (mask & 1) != 0)
        static_cast<FakeDevice*>(handle)->rx.clear();
    return status;
}

FAKE_EXPORT std::uint32_t FT_SetTimeouts(void* handle, std::uint32_t read_timeout, std::uint32_t write_timeout)
{
    return call("FT_SetTimeouts", std::to_string(read_timeout) + "," + std::to_string(write_timeout), handle);
}

FAKE_EXPORT std::uint32_t FT_SetBaudRate(void* handle, std::uint32_t baud_rate)
{
    return call("FT_SetBaudRate", std::to_string(baud_rate), handle);
}

FAKE_EXPORT std::uint32_t FT_SetDataCharacteristics(void* handle, unsigned char word_length,
                                                    unsigned char stop_bits, unsigned char parity)
{
    return call("FT_SetDataCharacteristics",
                std::to_string(word_length) + "," + std::to_string(stop_bits) + "," + std::to_string(parity),
                handle);
}

FAKE_EXPORT std::uint32_t FT_SetLatencyTimer(void* handle, unsigned char latency)
{
    return call("FT_SetLatencyTimer", std::to_string(latency), handle);
}

FAKE_EXPORT void fake_d2xx_reset(int devices)
{
    fake.devices = devices;
    for (FakeDevice& device : fake.device)
        device = FakeDevice{};
    sim_board_reset(fake.board);
    fake.failures.clear();
    fake.log.clear();
}

FAKE_EXPORT void fake_d2xx_forget_log()
{
    fake.log.clear();
}

// From now on the named function returns status (0 clears the failure).
FAKE_EXPORT void fake_d2xx_fail(const char* function, std::uint32_t status)
{
    if (status == FT_OK)
        fake.failures.erase(function);
    else
        fake.failures[function] = status;
}

// The calls so far, one a line: "FT_SetBaudRate(h0,115200)=0".
FAKE_EXPORT const char* fake_d2xx_log()
{
    fake.log_text.clear();
    for (const std::string& line : fake.log)
        fake.log_text += line + "\n";
    return fake.log_text.c_str();
}

FAKE_EXPORT void fake_d2xx_board_says(const char* bytes, std::uint32_t count)
{
    fake.device[0].rx.insert(fake.device[0].rx.end(), bytes, bytes + count);
}

FAKE_EXPORT int fake_d2xx_open_devices()
{
    int open = 0;
    for (const FakeDevice& device : fake.device)
        open += device.open ? 1 : 0;
    return open;
}

// The stored payload of a message, or -1 when the board has none.
FAKE_EXPORT int fake_d2xx_stored(int number, std::uint8_t* out, int max)
{
    const auto message = fake.board.messages.find(number);
    if (message == fake.board.messages.end())
        return -1;
    const int size = static_cast<int>(message->second.payload.size());
    std::memcpy(out, message->second.payload.data(), static_cast<std::size_t>(size < max ? size : max));
    return size;
}
