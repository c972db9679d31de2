#include "programmer/files/trust_store.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/file_access.h"
#include "programmer/files/file_io.h"

namespace files {

namespace {

constexpr uint64_t kKeyFileMaxSize = 4096;
constexpr const char* kToolDefaultComment = "minisign public key";

std::vector<std::string> keyFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(std::filesystem::path(folder), error);
    if (error)
        return names;
    for (const auto& entry : entries) {
        const std::filesystem::path& path = entry.path();
        if (path.extension() == ".pub")
            names.push_back(path.string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string nameOf(const PublicKey& key, const std::string& file) {
    if (!key.untrustedComment.empty() &&
        key.untrustedComment.compare(0, std::char_traits<char>::length(kToolDefaultComment),
                                     kToolDefaultComment) != 0)
        return key.untrustedComment;
    return std::filesystem::path(file).stem().string();
}

}  // namespace

std::vector<const TrustedKey*> TrustStore::withId(const KeyId& id) const {
    std::vector<const TrustedKey*> found;
    for (const TrustedKey& trusted : keys)
        if (trusted.key.id == id)
            found.push_back(&trusted);
    return found;
}

TrustStore loadTrustStore(const std::vector<std::string>& folders) {
    TrustStore store;
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        for (const std::string& file : keyFilesIn(folder)) {
            const std::string ignored = "Ignored the trusted key file " + file + ": ";
            if (platform::writableByOthers(file)) {
                store.warnings.push_back(ignored + "other users may change it.");
                continue;
            }
            std::vector<uint8_t> bytes;
            if (const int error = readWholeFile(file, bytes, kKeyFileMaxSize)) {
                store.warnings.push_back(ignored + "it cannot be read (error " +
                                         std::to_string(error) + ").");
                continue;
            }
            PublicKey key;
            const KeyFileError parsed =
                parsePublicKey(std::string(bytes.begin(), bytes.end()), key);
            if (parsed != KeyFileError::kNone) {
                store.warnings.push_back(ignored + keyFileErrorText(parsed, "public key") + ".");
                continue;
            }
            store.keys.push_back({key, nameOf(key, file), file});
        }
    }
    return store;
}

}  // namespace files
