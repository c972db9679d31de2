// Where the shared block lives: named alike on every platform, in a folder private to the user.
#include <cctype>
#include <cstdlib>

#include "tessiport/private_folder.h"
#include "tessiport/shared_block.h"

namespace tessiport {

namespace {
std::string instanceSuffix() {
    const char* instance = std::getenv("TESSIPORT_INSTANCE");
    if (instance == nullptr || *instance == '\0')
        return {};
    for (const char* c = instance; *c != '\0'; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && *c != '_')
            return {};
    return std::string("-") + instance;
}
}  // namespace

std::string sharedBlockPath() {
    std::string folder = runtimeFolder();
    if (folder.empty()) {
        folder = dataFolder();
        if (folder.empty())
            return {};
        makePrivateFolder(folder);
        if (folderRefusal(folder)[0] != '\0')
            return {};
    }
    return folder + "/TESSIPORT" + instanceSuffix();
}

}  // namespace tessiport
