#pragma once
// Result codes of the device file readers and the texts shown for them.

#include "protocol/error_codes.h"

namespace files {

constexpr protocol::ErrorCode READ_OK = 0;
constexpr protocol::ErrorCode ERR_FILE_OPEN = 0x80000000;
constexpr protocol::ErrorCode ERR_FILE_READ = 0x80000001;
constexpr protocol::ErrorCode ERR_FILE_WRITE = 0x80000002;
constexpr protocol::ErrorCode ERR_FILE_CHECKSUM = 0x80000003;
constexpr protocol::ErrorCode ERR_FILE_FORMAT = 0x80000004;
constexpr protocol::ErrorCode ERR_FILE_DATA = 0x80000005;
constexpr protocol::ErrorCode ERR_FILE_NAME = 0x80000006;
// Refused before reading: a FIFO or device could block or never end, a larger file cannot hold
// an image of the format.
constexpr protocol::ErrorCode ERR_FILE_NOT_REGULAR = 0x80000007;
constexpr protocol::ErrorCode ERR_FILE_TOO_LARGE = 0x80000008;

// The result for what openRegularFile (file_io.h) answered: READ_OK, or why the file is refused.
protocol::ErrorCode deviceFileOpenResult(int openError);

// The message shown for a result code ("Cannot open file", ...); empty for READ_OK and for codes
// that are not device file results.
const char* deviceFileErrorText(protocol::ErrorCode code);
// The code's name ("ERR_FILE_OPEN", ...), or "unknown".
const char* deviceFileResultName(protocol::ErrorCode code);

}  // namespace files
