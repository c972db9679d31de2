#include "programmer/cli/recording_report.h"

#include "programmer/cli/subcommand.h"
#include "protocol/recording/recording_file.h"
#include "protocol/recording/transcript.h"

namespace cli {

bool isRecordingName(const std::string& path) {
    for (const std::string suffix : {".jsonl", ".jsonl.gz"})
        if (path.size() > suffix.size() &&
            path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    return false;
}

int reportRecording(const std::string& path, std::ostream& out, std::ostream& err) {
    recording::Recording recording;
    std::string error;
    if (!recording::loadRecording(path, recording, error)) {
        err << "kelvoflash-cli: " << error << "\n";
        return kExitFailed;
    }
    out << recording::transcript(recording);
    return kExitOk;
}

}  // namespace cli
