#include "tools/temp_folder.h"

#include <stdlib.h>

#include <filesystem>

namespace tools {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kf_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr)
        path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

}  // namespace tools
