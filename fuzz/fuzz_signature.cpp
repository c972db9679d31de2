// The parsers of signed update files: public keys, signatures, secret keys, the site's policy
// and base64. Nothing reads outside the text, and whatever parses comes back the same through
// its writer.

#include <cstdlib>
#include <string>
#include <vector>

#include "programmer/files/base64.h"
#include "programmer/files/signature.h"
#include "programmer/files/signing_policy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 5) {
    case 0: {
        files::PublicKey key;
        if (files::parsePublicKey(text, key) != files::KeyFileError::kNone)
            break;
        files::PublicKey again;
        if (files::parsePublicKey(files::formatPublicKey(key), again) !=
                files::KeyFileError::kNone ||
            again.id != key.id || again.key != key.key)
            std::abort();
        break;
    }
    case 1: {
        files::Signature signature;
        if (files::parseSignature(text, signature) != files::KeyFileError::kNone)
            break;
        files::Signature again;
        if (files::parseSignature(files::formatSignature(signature, "again"), again) !=
                files::KeyFileError::kNone ||
            again.signature != signature.signature ||
            again.trustedComment != signature.trustedComment ||
            again.prehashed != signature.prehashed)
            std::abort();
        // Checking against any key never fails on the input's account.
        files::PublicKey key;
        key.id = signature.keyId;
        files::checkSignature(signature, key, std::vector<uint8_t>(data, data + size));
        break;
    }
    case 2: {
        files::SecretKeyFile file;
        if (files::parseSecretKeyFile(text, file) != files::KeyFileError::kNone)
            break;
        if (file.sealed.size() != 104)
            std::abort();
        // Opening a sealed key derives scrypt's output (up to 1 GiB); only open ones here.
        files::SecretKey key;
        if (!file.encrypted)
            files::openSecretKey(file, "", key);
        break;
    }
    case 3: {
        bool require = false;
        std::string problem;
        if (!files::parsePolicyText(text, require, problem) && problem.empty())
            std::abort();
        break;
    }
    default: {
        const auto bytes = files::base64Decode(text);
        if (bytes && files::base64Encode(*bytes) != text)
            std::abort();
        break;
    }
    }
    return 0;
}
