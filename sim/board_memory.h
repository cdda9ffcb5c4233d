#pragma once
// The simulated board's message memory, kept in a folder so that it outlives
// the run as a real board's memory does. For each message number NNN (000 to
// 255) the folder holds:
// - NNN.bin: exactly the payload bytes the board received on the wire;
// - beside it, a copy a player opens: NNN.wav for formats 1 and 2 (8 kHz mono
//   A-law or mu-law, each byte pair exchanged back into sample order) or
//   NNN.gsm for format 3 (the 33-byte GSM frames without each record's zero
//   byte; a last record cut short by the board's capacity is left out).
// Every file is written whole under a temporary name and then renamed, so a
// reader never sees half a message.

#include <functional>
#include <string>

#include "sim/sim_board.h"

// Takes what the folder holds into board.messages (the format from the copy
// beside each NNN.bin) and hooks on_store and on_erase to keep the folder in
// step. The folder is created when the first message is stored. Problems are
// handed to report, one line each; returns non-zero when the folder cannot be
// used at all (it names something that is not a folder, or cannot be read).
int board_memory_open(SimBoard& board, const std::string& folder,
                      const std::function<void(const std::string&)>& report);
