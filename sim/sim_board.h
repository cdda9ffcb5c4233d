#pragma once
// A model of the message board's firmware: it takes the bytes the host sends
// and produces the bytes the board answers. It knows no driver; its only sense
// of time is the moment each byte arrives, on the simulated world's clock.

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

struct SimMessage {
    std::uint8_t format = 0;
    std::vector<std::uint8_t> payload;  // exactly the bytes received on the wire
};

// Faults of the board's side of the upload, each off by default.
struct SimUploadFaults {
    int number_echo = -1;              // >= 0: echo this byte instead of the number
    int format_echo = -1;              // >= 0: echo this byte instead of the format
    bool no_number_echo = false;
    bool no_format_echo = false;
    bool no_length_answer = false;
    bool fixed_length_answer = false;  // answer length_answer whatever was announced
    std::int32_t length_answer = 0;
    std::int64_t change_echo_at = -1;  // payload index whose echo is altered
    int changed_echo = -1;             // >= 0: that echo is this byte; else the byte inverted
    std::int64_t stop_echo_at = -1;    // payload index from which nothing is echoed
    std::int64_t drop_echo_at = -1;    // payload index whose echo alone is lost
};

enum class SimUploadState { Idle, Number, Format, Length, Payload };

struct SimBoard {
    bool programming_locked = true;
    std::map<int, SimMessage> messages;  // by the board's message number 0..255
    std::uint32_t capacity = 0xFFFFFFFFu; // most payload bytes it takes in one upload
    SimUploadFaults faults;
    // An upload under way is abandoned when its next byte comes after a longer
    // silence: the host gave up on it (it pauses only to wait for a missing
    // answer), and the byte is taken as a new command. The virtual clock moves
    // only with the host's read time-outs, so a test that retries after a
    // failure without a wait advances it, as an operator's pause would. Tests
    // in which the board withholds an answer and the host goes on after its
    // read time-out raise this.
    std::uint64_t upload_patience_us = 500000;

    // Called when a message is stored or all are erased, for boards that keep
    // their memory somewhere.
    std::function<void(int number, const SimMessage& message)> on_store;
    std::function<void()> on_erase;

    // Parser state.
    int run_byte = -1;
    int run_length = 0;
    SimUploadState state = SimUploadState::Idle;
    int number = 0;
    std::uint8_t format = 0;
    std::uint8_t length_bytes[4] = {};
    int length_received = 0;
    std::uint32_t expected = 0;  // payload bytes the board will take
    std::vector<std::uint8_t> incoming;
    std::uint64_t last_byte_us = 0;  // when the previous byte arrived
};

// The lines the board prints end in a carriage return.
inline constexpr char SIM_LINE_UNLOCKED[] = "Programacao liberada\r";
inline constexpr char SIM_LINE_LOCKED[] = "Programacao travada\r";
inline constexpr char SIM_LINE_VERSION[] = "Placa quorvel simulada - firmware 3.07\r";
inline constexpr char SIM_LINE_ERASED[] = "Todas as mensagens apagadas\r";
inline constexpr char SIM_LINE_CLOSED[] = "Gravacao encerrada\r";

// Feeds one byte from the host, arriving at now_us; whatever the board answers
// is appended to out.
void sim_board_receive(SimBoard& board, std::uint8_t byte, std::uint64_t now_us,
                       std::vector<std::uint8_t>& out);
// The same, for a byte that follows the previous one without a pause.
void sim_board_receive(SimBoard& board, std::uint8_t byte, std::vector<std::uint8_t>& out);

// Forgets the parser state and the stored messages; keeps faults and hooks.
void sim_board_reset(SimBoard& board);
