#include <algorithm>

#include "link/ftdi_driver.h"
#include "link/input_wait.h"
#include "sim/sim_world.h"

namespace {

SimWorld world;

// Handles are addresses into this array: one per device index.
constexpr int MAX_DEVICES = 8;
int device_tags[MAX_DEVICES];

int device_of(DriverHandle handle)
{
    for (int i = 0; i < MAX_DEVICES; ++i)
        if (handle == &device_tags[i])
            return i;
    return -1;
}

DriverStatus injected(SimOp op, int index = -1)
{
    SimFailure& failure = world.failures[static_cast<int>(op)];
    if (!failure.active || (failure.index >= 0 && failure.index != index))
        return DRV_OK;
    const std::uint32_t call = failure.calls++;
    if (call < failure.after)
        return DRV_OK;
    if (failure.times >= 0 && call >= failure.after + static_cast<std::uint32_t>(failure.times))
        return DRV_OK;
    return failure.status;
}

DriverStatus record(SimOp op, std::vector<std::int64_t> args, DriverStatus status,
                    std::vector<std::uint8_t> bytes = {})
{
    if (world.record_calls)
        world.calls.push_back(SimCall{op, std::move(args), std::move(bytes), status});
    return status;
}

}  // namespace

const char* sim_op_name(SimOp op)
{
    static const char* const names[SIM_OP_COUNT] = {
        "open", "close", "read", "write", "get_status", "purge", "set_timeouts",
        "set_baud_rate", "set_data_characteristics", "set_latency_timer", "wait_readable"};
    return names[static_cast<int>(op)];
}

SimWorld& sim_world()
{
    return world;
}

void sim_reset()
{
    SimBoard board;
    world.devices = 1;
    world.board = board;
    for (SimFailure& failure : world.failures)
        failure = SimFailure{};
    world.calls.clear();
    world.record_calls = true;
    world.now_us = 0;
    world.rx.clear();
    world.read_timeout_ms = 0;
    world.write_timeout_ms = 0;
    world.open_handles = 0;
    world.line = SimLine{};
}

void sim_fail(SimOp op, DriverStatus status, std::uint32_t after, int times, int index)
{
    SimFailure& failure = world.failures[static_cast<int>(op)];
    failure = SimFailure{true, after, times, status, index, 0};
}

void sim_board_says(const std::string& bytes)
{
    world.rx.insert(world.rx.end(), bytes.begin(), bytes.end());
}

std::vector<SimCall> sim_calls(SimOp op)
{
    std::vector<SimCall> result;
    std::copy_if(world.calls.begin(), world.calls.end(), std::back_inserter(result),
                 [op](const SimCall& call) { return call.op == op; });
    return result;
}

std::vector<std::uint8_t> sim_written()
{
    std::vector<std::uint8_t> bytes;
    for (const SimCall& call : world.calls)
        if (call.op == SimOp::Write && call.status == DRV_OK)
            bytes.insert(bytes.end(), call.bytes.begin(), call.bytes.end());
    return bytes;
}

DriverStatus drv_open(int index, DriverHandle* handle)
{
    DriverStatus status = injected(SimOp::Open, index);
    if (status == DRV_OK && (index < 0 || index >= world.devices || index >= MAX_DEVICES))
        status = DRV_DEVICE_NOT_FOUND;
    if (status == DRV_OK) {
        *handle = &device_tags[index];
        ++world.open_handles;
    }
    return record(SimOp::Open, {index}, status);
}

DriverStatus drv_close(DriverHandle handle)
{
    const int device = device_of(handle);
    DriverStatus status = injected(SimOp::Close);
    if (device < 0)
        status = DRV_INVALID_HANDLE;
    else if (status == DRV_OK)
        --world.open_handles;
    return record(SimOp::Close, {device}, status);
}

DriverStatus drv_read(DriverHandle handle, void* buffer, std::uint32_t count, std::uint32_t* read)
{
    *read = 0;
    DriverStatus status = injected(SimOp::Read);
    if (device_of(handle) != 0 && status == DRV_OK)
        status = DRV_INVALID_HANDLE;
    if (status != DRV_OK)
        return record(SimOp::Read, {count}, status);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    if (world.line.realtime) {
        *read = sim_line_read(world, bytes, count);
        return record(SimOp::Read, {count}, status, std::vector<std::uint8_t>(bytes, bytes + *read));
    }
    const auto available = static_cast<std::uint32_t>(world.rx.size());
    const std::uint32_t taken = std::min(count, available);
    std::copy_n(world.rx.begin(), taken, bytes);
    world.rx.erase(world.rx.begin(), world.rx.begin() + taken);
    *read = taken;
    // Nothing more can arrive while the host waits: a short read costs the
    // whole time-out, on the virtual clock.
    if (taken < count)
        world.now_us += std::uint64_t{world.read_timeout_ms} * 1000;
    return record(SimOp::Read, {count}, status, std::vector<std::uint8_t>(bytes, bytes + taken));
}

DriverStatus drv_write(DriverHandle handle, const void* buffer, std::uint32_t count,
                       std::uint32_t* written)
{
    *written = 0;
    DriverStatus status = injected(SimOp::Write);
    if (device_of(handle) != 0 && status == DRV_OK)
        status = DRV_INVALID_HANDLE;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::vector<std::uint8_t> sent(bytes, bytes + count);
    if (status != DRV_OK)
        return record(SimOp::Write, {count}, status, std::move(sent));
    if (world.line.realtime) {
        sim_line_write(world, bytes, count);
        *written = count;
        return record(SimOp::Write, {count}, status, std::move(sent));
    }
    std::vector<std::uint8_t> answer;
    for (std::uint8_t byte : sent)
        sim_board_receive(world.board, byte, world.now_us, answer);
    world.rx.insert(world.rx.end(), answer.begin(), answer.end());
    *written = count;
    return record(SimOp::Write, {count}, status, std::move(sent));
}

DriverStatus drv_get_status(DriverHandle handle, std::uint32_t* rx_queue, std::uint32_t* tx_queue,
                            std::uint32_t* event_status)
{
    DriverStatus status = injected(SimOp::GetStatus);
    if (device_of(handle) != 0 && status == DRV_OK)
        status = DRV_INVALID_HANDLE;
    if (status == DRV_OK && world.line.realtime)
        sim_line_deliver(world);
    *rx_queue = status == DRV_OK ? static_cast<std::uint32_t>(world.rx.size()) : 0;
    *tx_queue = 0;
    *event_status = 0;
    // The console asks once per pass; recording each would swamp the log.
    if (status != DRV_OK)
        record(SimOp::GetStatus, {}, status);
    return status;
}

DriverStatus drv_purge(DriverHandle handle, std::uint32_t mask)
{
    DriverStatus status = injected(SimOp::Purge);
    if (device_of(handle) != 0 && status == DRV_OK)
        status = DRV_INVALID_HANDLE;
    if (status == DRV_OK && (mask & DRV_PURGE_RX)) {
        if (world.line.realtime)
            sim_line_purge(world);
        world.rx.clear();
    }
    return record(SimOp::Purge, {mask}, status);
}

DriverStatus drv_set_timeouts(DriverHandle handle, std::uint32_t read_ms, std::uint32_t write_ms)
{
    DriverStatus status = injected(SimOp::SetTimeouts);
    if (device_of(handle) != 0 && status == DRV_OK)
        status = DRV_INVALID_HANDLE;
    if (status == DRV_OK) {
        world.read_timeout_ms = read_ms;
        world.write_timeout_ms = write_ms;
    }
    return record(SimOp::SetTimeouts, {read_ms, write_ms}, status);
}

DriverStatus drv_set_baud_rate(DriverHandle handle, std::uint32_t baud)
{
    DriverStatus status = injected(SimOp::SetBaudRate);
    if (device_of(handle) != 0 && status == DRV_OK)
        status = DRV_INVALID_HANDLE;
    return record(SimOp::SetBaudRate, {baud}, status);
}

DriverStatus drv_set_data_characteristics(DriverHandle handle, std::uint8_t word_length,
                                          std::uint8_t stop_bits, std::uint8_t parity)
{
    DriverStatus status = injected(SimOp::SetDataCharacteristics);
    if (device_of(handle) != 0 && status == DRV_OK)
        status = DRV_INVALID_HANDLE;
    return record(SimOp::SetDataCharacteristics, {word_length, stop_bits, parity}, status);
}

DriverStatus drv_set_latency_timer(DriverHandle handle, std::uint8_t ms)
{
    DriverStatus status = injected(SimOp::SetLatencyTimer);
    if (device_of(handle) != 0 && status == DRV_OK)
        status = DRV_INVALID_HANDLE;
    return record(SimOp::SetLatencyTimer, {ms}, status);
}

DriverStatus drv_wait_readable(DriverHandle handle, std::intptr_t key_wait, std::uint32_t max_ms)
{
    if (device_of(handle) != 0)
        return DRV_INVALID_HANDLE;
    if (world.line.realtime) {
        sim_line_wait(world, key_wait, max_ms);
        return DRV_OK;
    }
    if (!world.rx.empty())
        return DRV_OK;
    // The board only speaks when spoken to, so only the operator's input can
    // end the wait early.
    if (key_wait != -1)
        wait_for_input(key_wait, max_ms);
    return DRV_OK;
}
