#include "programmer/files/line_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "programmer/files/device_file_result.h"
#include "programmer/files/file_io.h"

namespace files {

namespace {
constexpr size_t kChunkSize = 64 * 1024;
}

LineReader::LineReader(std::string_view text, size_t maxLineLength)
    : data_(text.data()), end_(text.size()), maxLineLength_(maxLineLength), atEnd_(true) {}

LineReader::LineReader(std::FILE* file, size_t maxLineLength)
    : file_(file),
      buffer_(std::max(kChunkSize, 2 * (maxLineLength + 2))),
      data_(buffer_.data()),
      maxLineLength_(maxLineLength) {}

void LineReader::refill() {
    // Keep the unread rest at the front and fill up behind it.
    const size_t rest = end_ - position_;
    std::memmove(buffer_.data(), buffer_.data() + position_, rest);
    position_ = 0;
    end_ = rest;
    while (end_ < buffer_.size() && !atEnd_) {
        const size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
        end_ += got;
        if (got == 0) {
            atEnd_ = true;
            failed_ = std::ferror(file_) != 0;
        }
    }
}

bool LineReader::next(std::string_view& line) {
    // A line of the longest length may still be followed by "\r\n": look that far ahead.
    const size_t lookahead = maxLineLength_ + 2;
    if (end_ - position_ < lookahead && !atEnd_)
        refill();
    if (failed_)
        return false;
    const size_t available = end_ - position_;
    if (available == 0)
        return false;

    const char* start = data_ + position_;
    const auto* newline =
        static_cast<const char*>(std::memchr(start, '\n', std::min(available, lookahead)));
    size_t length;
    size_t consumed;
    if (newline != nullptr) {
        length = size_t(newline - start);
        consumed = length + 1;
        if (length > 0 && start[length - 1] == '\r')
            --length;
        if (length > maxLineLength_)
            length = consumed = maxLineLength_;
    } else if (available > maxLineLength_) {
        length = consumed = maxLineLength_;
    } else {
        // The last line, without a line end.
        length = consumed = available;
        if (length > 0 && start[length - 1] == '\r')
            --length;
    }
    line = std::string_view(start, length);
    position_ += consumed;
    return true;
}

protocol::ErrorCode readTextFileLines(
    const std::string& path, size_t maxLineLength, uint64_t maxFileSize,
    const std::function<protocol::ErrorCode(LineReader&)>& readLines) {
    int fd = -1;
    size_t size = 0;
    if (const protocol::ErrorCode refused =
            deviceFileOpenResult(openRegularFile(path, maxFileSize, fd, size)))
        return refused;
    std::FILE* file = ::fdopen(fd, "r");
    if (file == nullptr) {
        ::close(fd);
        return ERR_FILE_OPEN;
    }
    protocol::ErrorCode result;
    try {
        LineReader lines(file, maxLineLength);
        result = readLines(lines);
    } catch (...) {
        result = ERR_FILE_READ;  // the line buffer could not grow
    }
    std::fclose(file);
    return result;
}

}  // namespace files
