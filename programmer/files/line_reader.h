#pragma once
// Splits text into lines, from memory or from a file in one pass. A line longer than the
// reader's limit is cut there, and the rest of it is read as the next line. The line end ("\n"
// or "\r\n") is not part of the line.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/error_codes.h"

namespace files {

class LineReader {
public:
    LineReader(std::string_view text, size_t maxLineLength);
    // Borrows the file; reads it in chunks as lines are asked for.
    LineReader(std::FILE* file, size_t maxLineLength);

    // The next line, valid until the next call; false at the end of the input or when reading
    // failed.
    bool next(std::string_view& line);
    bool readFailed() const { return failed_; }

private:
    void refill();

    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;  // file mode only
    const char* data_ = nullptr;
    size_t position_ = 0;
    size_t end_ = 0;
    size_t maxLineLength_;
    bool atEnd_ = false;
    bool failed_ = false;
};

// Opens the text file at `path` and hands its lines to `readLines`; closes the file again on
// every path. A file that cannot be opened gives ERR_FILE_OPEN, one that is not a regular file
// or larger than `maxFileSize` is refused before reading (device_file_result.h), a failure while
// reading gives ERR_FILE_READ.
protocol::ErrorCode readTextFileLines(
    const std::string& path, size_t maxLineLength, uint64_t maxFileSize,
    const std::function<protocol::ErrorCode(LineReader&)>& readLines);

}  // namespace files
