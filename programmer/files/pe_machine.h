#pragma once
// The processor a Windows program or library is built for, from the machine field of its PE
// header: a 64-bit process cannot load a 32-bit library, nor the other way round.

#include <cstddef>
#include <cstdint>
#include <string>

namespace files {

enum class PeMachine {
    kUnreadable,  // not a PE file, cut short, or not readable
    kX86,         // 32-bit (IMAGE_FILE_MACHINE_I386)
    kX64,         // 64-bit (IMAGE_FILE_MACHINE_AMD64)
    kOther,       // another processor (ARM, Itanium, ...)
};

// The machine of the PE image that starts with `head` (`size` bytes of the file's beginning).
PeMachine peMachineOf(const uint8_t* head, size_t size);

// The machine of the file at `path`; only its first few kilobytes are read.
PeMachine peMachineOfFile(const std::string& path);

// "32-bit", "64-bit", "other", "unreadable".
const char* peMachineName(PeMachine machine);

}  // namespace files
