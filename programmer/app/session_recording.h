#pragma once
// A recording of the camera exchanges of one program run, asked for by kelvoflash-cli --record
// or the dialogs' -R start option: the header describes the connection the start options ask for.

#include <memory>
#include <string>

#include "platform/clock.h"
#include "programmer/app/start_options.h"
#include "programmer/camera/session_recorder.h"

namespace app {

// Creates the recording `path` for a run of `program` with `start`. Null with `error` (an
// existing file is refused, never overwritten).
std::unique_ptr<camera::SessionRecorder> StartRecording(const std::string& path,
                                                        const StartOptions& start,
                                                        const std::string& program,
                                                        platform::Clock& clock,
                                                        std::string& error);

}  // namespace app
