#pragma once
// A recording for people: one line per event (time, direction, telegram decoded, result with
// its text) and a summary of the devices touched, the blocks written and read back, and the
// failures.

#include <string>

#include "protocol/recording/recording_file.h"

namespace recording {

std::string transcript(const Recording& recording);

}  // namespace recording
