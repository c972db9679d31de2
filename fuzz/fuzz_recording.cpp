// parseRecording: whatever the text, a recording is refused with a line number or read whole;
// a read one makes a transcript, and each of its events reads back as it is written.

#include <cstdlib>
#include <string>

#include "protocol/recording/recording_file.h"
#include "protocol/recording/recording_line.h"
#include "protocol/recording/transcript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    recording::Recording recording;
    std::string error;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!recording::parseRecording(text, recording, error)) {
        if (error.rfind("line ", 0) != 0) std::abort();
        return 0;
    }
    (void)recording::transcript(recording);
    for (const recording::Event& event : recording.events) {
        recording::Event back;
        if (!recording::parseLine(recording::encodeLine(event), back, error)) std::abort();
        if (back.bytes != event.bytes || back.result != event.result || back.ms != event.ms)
            std::abort();
    }
    return 0;
}
