#pragma once
// A text value of the machine's settings. On Windows a value of the registry under
// HKEY_LOCAL_MACHINE; elsewhere, where there is no registry, the environment variable named like
// the value stands for it (the key is then present when the variable is set).

#include <string>

namespace platform {

enum class RegistryRead { kFound, kNoKey, kNoValue };

// `key` as Windows writes it ("Software\cameralink"), `value` its name ("CLSERIALPATH").
// `text` gets the value when found and is left empty otherwise. On Windows a value of type
// REG_EXPAND_SZ comes back with its variables expanded.
RegistryRead readMachineText(const std::string& key, const std::string& value, std::string& text);

}  // namespace platform
