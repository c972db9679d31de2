#pragma once
// Session recordings on disk: JSON Lines, gzip-compressed when the name ends in ".gz". The
// writer flushes after every event, so a process that is killed leaves every whole event behind;
// the reader takes a last line without its newline (or a compressed stream that stops short) for
// such a cut and keeps what came before it.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "protocol/recording/recording_event.h"

namespace recording {

bool isCompressedName(const std::string& path);

class RecordingWriter {
public:
    // Creates `path`; an existing file is never overwritten. Null with `error` on failure.
    static std::unique_ptr<RecordingWriter> create(const std::string& path, std::string& error);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Appends the event as one line and flushes it to the file. False once writing failed.
    bool write(const Event& event);

private:
    struct Sink;
    explicit RecordingWriter(std::unique_ptr<Sink> sink);
    std::unique_ptr<Sink> sink_;
    bool failed_ = false;
};

struct Recording {
    std::vector<Event> events;  // the header first
    bool cut = false;           // the file ended inside an event, which was left out
    size_t lines = 0;           // whole lines read
};

// Parses the text of a recording. False with `error` ("line N: what") for a garbled line or a
// recording that does not start with its header.
bool parseRecording(const std::string& text, Recording& recording, std::string& error);

// Reads and parses `path` (plain or gzip). `error` names the file's problem or the bad line.
bool loadRecording(const std::string& path, Recording& recording, std::string& error);

}  // namespace recording
