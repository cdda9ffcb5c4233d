#include "upload/upload.h"

int upload_wav_file(BoardLink&, const char*, int)
{
    return UPLOAD_OPEN_FAILED;
}
