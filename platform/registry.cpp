#include "platform/registry.h"

#include <cstdlib>

namespace platform {

RegistryRead readMachineText(const std::string&, const std::string& value, std::string& text) {
    text.clear();
    const char* variable = std::getenv(value.c_str());
    if (variable == nullptr)
        return RegistryRead::kNoKey;
    text = variable;
    return RegistryRead::kFound;
}

}  // namespace platform
