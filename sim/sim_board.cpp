#include "sim/sim_board.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void say(std::vector<std::uint8_t>& out, const char* line)
{
    out.insert(out.end(), line, line + std::strlen(line));
}

void say(std::vector<std::uint8_t>& out, const std::string& line)
{
    out.insert(out.end(), line.begin(), line.end());
}

// Counts runs of one byte, for the multi-byte commands (C C C, { x5, > > >).
bool completes_run(SimBoard& board, std::uint8_t byte, int length)
{
    if (board.run_byte != byte) {
        board.run_byte = byte;
        board.run_length = 0;
    }
    if (++board.run_length < length)
        return false;
    board.run_byte = -1;
    board.run_length = 0;
    return true;
}

void idle_byte(SimBoard& board, std::uint8_t byte, std::vector<std::uint8_t>& out)
{
    switch (byte) {
    case 'C':
        if (completes_run(board, byte, 3)) {
            board.programming_locked = !board.programming_locked;
            say(out, board.programming_locked ? SIM_LINE_LOCKED : SIM_LINE_UNLOCKED);
        }
        return;
    case '{':
        if (completes_run(board, byte, 5)) {
            board.messages.clear();
            if (board.on_erase)
                board.on_erase();
            say(out, SIM_LINE_ERASED);
        }
        return;
    case '>':
        if (completes_run(board, byte, 3))
            board.state = SimUploadState::Number;
        return;
    default:
        break;
    }
    board.run_byte = -1;
    board.run_length = 0;
    switch (byte) {
    case '*':
        say(out, SIM_LINE_VERSION);
        break;
    case '<':
        say(out, SIM_LINE_CLOSED);
        break;
    case 'Q':
    case 'R':
    case 'W':
    case 'q':
        say(out, std::string("Comando ") + static_cast<char>(byte) + " recebido\r");
        break;
    default:
        break;
    }
}

void store(SimBoard& board)
{
    SimMessage& message = board.messages[board.number];
    message.format = board.format;
    message.payload = board.incoming;
    if (board.on_store)
        board.on_store(board.number, message);
    board.state = SimUploadState::Idle;
}

void length_complete(SimBoard& board, std::vector<std::uint8_t>& out)
{
    const std::uint32_t announced = (std::uint32_t{board.length_bytes[0]} << 24) |
                                    (std::uint32_t{board.length_bytes[1]} << 16) |
                                    (std::uint32_t{board.length_bytes[2]} << 8) |
                                    std::uint32_t{board.length_bytes[3]};
    const SimUploadFaults& faults = board.faults;
    const std::uint32_t taken = std::min({announced, board.capacity, std::uint32_t{INT32_MAX}});
    std::int32_t answer = static_cast<std::int32_t>(taken);
    if (faults.fixed_length_answer)
        answer = faults.length_answer;
    if (!faults.no_length_answer) {
        const auto value = static_cast<std::uint32_t>(answer);
        out.push_back(static_cast<std::uint8_t>(value >> 24));
        out.push_back(static_cast<std::uint8_t>(value >> 16));
        out.push_back(static_cast<std::uint8_t>(value >> 8));
        out.push_back(static_cast<std::uint8_t>(value));
        // A negative answer takes nothing: the host sends no payload.
        if (answer < 0) {
            board.state = SimUploadState::Idle;
            return;
        }
    }
    // The host sends the answer rounded up to even, and never more than it
    // announced; a board that answered nothing gets the whole announcement.
    std::int64_t expected = faults.no_length_answer ? std::int64_t{announced} : std::int64_t{answer};
    if (expected < announced)
        expected += expected & 1;
    else
        expected = announced;
    board.expected = static_cast<std::uint32_t>(expected);
    board.incoming.clear();
    if (board.expected == 0)
        store(board);
    else
        board.state = SimUploadState::Payload;
}

void payload_byte(SimBoard& board, std::uint8_t byte, std::vector<std::uint8_t>& out)
{
    const auto index = static_cast<std::int64_t>(board.incoming.size());
    board.incoming.push_back(byte);
    const SimUploadFaults& faults = board.faults;
    const bool stopped = faults.stop_echo_at >= 0 && index >= faults.stop_echo_at;
    if (!stopped && index != faults.drop_echo_at) {
        std::uint8_t echo = byte;
        if (index == faults.change_echo_at)
            echo = faults.changed_echo >= 0 ? static_cast<std::uint8_t>(faults.changed_echo)
                                            : static_cast<std::uint8_t>(byte ^ 0xFF);
        out.push_back(echo);
    }
    if (board.incoming.size() == board.expected)
        store(board);
}

}  // namespace

void sim_board_receive(SimBoard& board, std::uint8_t byte, std::uint64_t now_us,
                       std::vector<std::uint8_t>& out)
{
    const bool long_silence =
        now_us > board.last_byte_us && now_us - board.last_byte_us > board.upload_patience_us;
    board.last_byte_us = now_us;
    if (board.state != SimUploadState::Idle && long_silence) {
        board.state = SimUploadState::Idle;
        board.incoming.clear();
    }
    const SimUploadFaults& faults = board.faults;
    switch (board.state) {
    case SimUploadState::Idle:
        idle_byte(board, byte, out);
        return;
    case SimUploadState::Number:
        board.number = byte;
        if (!faults.no_number_echo)
            out.push_back(faults.number_echo >= 0 ? static_cast<std::uint8_t>(faults.number_echo) : byte);
        board.state = SimUploadState::Format;
        return;
    case SimUploadState::Format:
        board.format = byte;
        if (!faults.no_format_echo)
            out.push_back(faults.format_echo >= 0 ? static_cast<std::uint8_t>(faults.format_echo) : byte);
        board.length_received = 0;
        board.state = SimUploadState::Length;
        return;
    case SimUploadState::Length:
        board.length_bytes[board.length_received++] = byte;
        if (board.length_received == 4)
            length_complete(board, out);
        return;
    case SimUploadState::Payload:
        payload_byte(board, byte, out);
        return;
    }
}

void sim_board_receive(SimBoard& board, std::uint8_t byte, std::vector<std::uint8_t>& out)
{
    sim_board_receive(board, byte, board.last_byte_us, out);
}

void sim_board_reset(SimBoard& board)
{
    board.programming_locked = true;
    board.messages.clear();
    board.run_byte = -1;
    board.run_length = 0;
    board.state = SimUploadState::Idle;
    board.length_received = 0;
    board.expected = 0;
    board.incoming.clear();
    board.last_byte_us = 0;
}
