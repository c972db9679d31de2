#pragma once
// An event as one line of JSON: a flat object whose "ev" names the kind, numbers in decimal,
// telegram bytes as a string of hex digits. For example
//   {"ev":"tx","ms":1204,"bytes":"1001050016"}
//   {"ev":"rx","ms":1206,"result":0,"bytes":"9001170000040000d204000000000000000000000000"}

#include <string>

#include "protocol/recording/recording_event.h"

namespace recording {

// The line without its newline.
std::string encodeLine(const Event& event);

// Parses one line (without newline). False with `error` saying what is wrong; `event` is then
// unspecified.
bool parseLine(const std::string& line, Event& event, std::string& error);

}  // namespace recording
