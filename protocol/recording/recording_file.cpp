#include "protocol/recording/recording_file.h"

#include <fcntl.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "protocol/recording/recording_line.h"

// Windows opens files in text mode unless told otherwise; elsewhere there is no such mode.
#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace recording {

namespace {
constexpr const char kCompressedSuffix[] = ".gz";
constexpr size_t kMaxRecordingBytes = size_t(1) << 30;  // far beyond any update session
}  // namespace

bool isCompressedName(const std::string& path) {
    const size_t n = sizeof kCompressedSuffix - 1;
    return path.size() > n && path.compare(path.size() - n, n, kCompressedSuffix) == 0;
}

// Where the lines go: a stdio file, or a gzip stream on top of one.
struct RecordingWriter::Sink {
    std::FILE* file = nullptr;
    gzFile gz = nullptr;

    ~Sink() {
        if (gz) gzclose(gz);  // closes the file's descriptor too
        else if (file) std::fclose(file);
    }
    bool put(const std::string& line) {
        if (gz) {
            // A sync flush ends each event on a byte boundary a reader can decompress up to.
            return gzwrite(gz, line.data(), unsigned(line.size())) == int(line.size()) &&
                   gzflush(gz, Z_SYNC_FLUSH) == Z_OK;
        }
        return std::fwrite(line.data(), 1, line.size(), file) == line.size() &&
               std::fflush(file) == 0;
    }
};

std::unique_ptr<RecordingWriter> RecordingWriter::create(const std::string& path,
                                                         std::string& error) {
    auto sink = std::make_unique<Sink>();
    // O_EXCL: an earlier recording of the same name is never lost.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY | O_CLOEXEC, 0644);
    sink->file = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (!sink->file) {
        error = "cannot create the recording " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (isCompressedName(path)) {
        sink->gz = gzdopen(fileno(sink->file), "wb");
        if (!sink->gz) {
            error = "cannot compress the recording " + path;
            return nullptr;
        }
        sink->file = nullptr;  // the gzip stream owns the descriptor now
    }
    return std::unique_ptr<RecordingWriter>(new RecordingWriter(std::move(sink)));
}

RecordingWriter::RecordingWriter(std::unique_ptr<Sink> sink) : sink_(std::move(sink)) {}

RecordingWriter::~RecordingWriter() = default;

bool RecordingWriter::write(const Event& event) {
    if (failed_) return false;
    failed_ = !sink_->put(encodeLine(event) + "\n");
    return !failed_;
}

bool parseRecording(const std::string& text, Recording& recording, std::string& error) {
    recording = {};
    size_t at = 0;
    size_t number = 0;
    while (at < text.size()) {
        const size_t newline = text.find('\n', at);
        if (newline == std::string::npos) {
            recording.cut = true;  // the writer stopped inside this event
            break;
        }
        ++number;
        Event event;
        std::string what;
        if (!parseLine(text.substr(at, newline - at), event, what)) {
            error = "line " + std::to_string(number) + ": " + what;
            return false;
        }
        if ((number == 1) != (event.kind == EventKind::Header)) {
            error = "line " + std::to_string(number) +
                    (number == 1 ? ": the recording does not start with its header"
                                 : ": a second header");
            return false;
        }
        event.line = number;
        recording.events.push_back(std::move(event));
        at = newline + 1;
    }
    recording.lines = number;
    if (recording.events.empty()) {
        error = "line 1: the recording does not start with its header";
        return false;
    }
    return true;
}

bool loadRecording(const std::string& path, Recording& recording, std::string& error) {
    // gzip streams and plain files alike: zlib passes plain text through unchanged.
    gzFile gz = gzopen(path.c_str(), "rb");
    if (!gz) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[1 << 15];
    bool truncated = false;
    while (true) {
        const int n = gzread(gz, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, size_t(n));
            if (text.size() > kMaxRecordingBytes) {
                gzclose(gz);
                error = path + ": larger than any recording (1 GiB)";
                return false;
            }
            continue;
        }
        int code = Z_OK;
        gzerror(gz, &code);
        // A compressed stream that stops short is a recording whose writer was killed.
        truncated = n < 0 && code == Z_BUF_ERROR;
        if (n < 0 && !truncated) {
            gzclose(gz);
            error = "cannot read " + path + ": not a recording (damaged compression)";
            return false;
        }
        break;
    }
    gzclose(gz);
    if (!parseRecording(text, recording, error)) {
        error = path + " " + error;
        return false;
    }
    recording.cut = recording.cut || truncated;
    return true;
}

}  // namespace recording
