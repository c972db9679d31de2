#pragma once
// kelvoflash-cli inspect for recordings (FILE.jsonl, FILE.jsonl.gz): the transcript and summary.

#include <ostream>
#include <string>

namespace cli {

bool isRecordingName(const std::string& path);
// Prints the transcript to `out`, or the refusal to `err`. kExitOk or kExitFailed.
int reportRecording(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace cli
