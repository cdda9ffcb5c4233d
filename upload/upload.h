#pragma once
// The upload transaction and the two file uploaders.

#include <cstdint>

#include "link/board_link.h"

// Outcome of one message upload.
enum UploadResult : int {
    UPLOAD_OK = 0,
    UPLOAD_OPEN_FAILED = 1,    // the message file did not open
    UPLOAD_REFUSED = 2,        // content refused or no payload buffer
    UPLOAD_LINK_FAILED = 3,    // a block write failed or its echo was short
    UPLOAD_ECHO_DIFFERED = 4,  // an echoed payload byte differed
    UPLOAD_HEADER_FAILED = 5,  // the number or format echo differed
};

// The format byte of the upload header.
enum BoardFormat : std::uint8_t {
    FORMAT_ALAW = 1,
    FORMAT_MULAW = 2,
    FORMAT_GSM = 3,
};

// Which uploader calls: it selects the wording of some failure messages.
enum class FileKind { GSM, WAV };

// Moves payload[0..n), n >= 0, into the board under number's low 8 bits.
// When n is odd payload[n] travels too. label may be nullptr. Returns 0, 3, 4
// or 5.
int send_message(BoardLink& link, FileKind kind, int number, std::uint8_t format,
                 const std::uint8_t* payload, std::int32_t n, const char* file_name,
                 const char* label);

int upload_gsm_file(BoardLink& link, const char* file_name, int number);
int upload_wav_file(BoardLink& link, const char* file_name, int number);
