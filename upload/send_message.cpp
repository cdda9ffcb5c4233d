#include "upload/upload.h"

int send_message(BoardLink&, FileKind, int, std::uint8_t, const std::uint8_t*, std::int32_t,
                 const char*, const char*)
{
    return UPLOAD_LINK_FAILED;
}

int upload_gsm_file(BoardLink&, const char*, int)
{
    return UPLOAD_OPEN_FAILED;
}
