#pragma once

#include "link/board_link.h"

// Uploads every entry of a list file; 0 when the list was worked through
// (entries may have failed), 1 when it did not open, 3, 4 or 5 when an upload
// stopped it.
int load_message_list(BoardLink& link, const char* list_file_name);

// Uploads one message file with the uploader its name calls for: GSM when the
// name holds ".gsm" or ".GSM" anywhere, WAV otherwise. Returns its UploadResult.
int upload_message_file(BoardLink& link, const char* file_name, int number);
