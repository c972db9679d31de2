#include "programmer/files/signature.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "programmer/files/base64.h"

namespace files {

namespace {

constexpr const char* kUntrustedPrefix = "untrusted comment: ";
constexpr const char* kTrustedPrefix = "trusted comment: ";
constexpr size_t kPublicKeySize = 2 + 8 + 32;
constexpr size_t kSignatureSize = 2 + 8 + 64;
constexpr size_t kSecretKeySize = 2 + 2 + 2 + 32 + 8 + 8 + 104;
constexpr size_t kSealedSize = 8 + 64 + 32;

// The lines of `text` without their line ends ("\n" or "\r\n"); trailing empty lines dropped.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Decodes a base64 line that must hold exactly `size` bytes.
KeyFileError decodeLine(const std::string& line, size_t size, std::vector<uint8_t>& bytes) {
    std::optional<std::vector<uint8_t>> decoded = base64Decode(line);
    if (!decoded)
        return KeyFileError::kBadBase64;
    if (decoded->size() != size)
        return KeyFileError::kWrongLength;
    bytes = std::move(*decoded);
    return KeyFileError::kNone;
}

uint64_t littleEndian64(const uint8_t* p) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

void putLittleEndian64(uint64_t value, uint8_t* p) {
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(value >> (8 * i));
}

// scrypt's cost and parallelism from the operations and memory limits a secret key stores, the
// way the signing tool derives them (r is always 8).
bool scryptParameters(uint64_t opsLimit, uint64_t memLimit, int& logN, uint32_t& p) {
    constexpr uint64_t r = 8;
    if (opsLimit < 32768)
        opsLimit = 32768;
    const bool byOperations = opsLimit < memLimit / 32;
    const uint64_t maxN = byOperations ? opsLimit / (r * 4) : memLimit / (r * 128);
    for (logN = 1; logN < 63; ++logN)
        if ((uint64_t(1) << logN) > maxN / 2)
            break;
    if (byOperations) {
        p = 1;
    } else {
        uint64_t maxrp = (opsLimit / 4) / (uint64_t(1) << logN);
        if (maxrp > 0x3fffffff)
            maxrp = 0x3fffffff;
        p = uint32_t(maxrp) / uint32_t(r);
    }
    // 2^20 blocks of 1 KiB is what the signing tool itself asks for; a file that asks for more
    // would only tie up the machine.
    return logN <= 20 && p >= 1 && p <= 16;
}

std::array<uint8_t, 32> secretKeyCheck(const std::vector<uint8_t>& algorithm, const KeyId& id,
                                       const crypto::SeedBytes& seed,
                                       const crypto::PublicKeyBytes& publicKey) {
    const std::vector<uint8_t> idBytes(id.begin(), id.end());
    std::vector<uint8_t> secret(seed.begin(), seed.end());
    secret.insert(secret.end(), publicKey.begin(), publicKey.end());
    return crypto::blake2b256({&algorithm, &idBytes, &secret});
}

// Every key and signature file starts the same way: an untrusted comment, then one base64 line
// of `size` bytes.
KeyFileError readCommentAndPayload(const std::string& text, size_t size,
                                   std::vector<std::string>& lines, std::vector<uint8_t>& bytes) {
    lines = linesOf(text);
    if (lines.empty() || !startsWith(lines[0], kUntrustedPrefix))
        return KeyFileError::kNoUntrustedComment;
    if (lines.size() < 2)
        return KeyFileError::kWrongLength;
    return decodeLine(lines[1], size, bytes);
}

}  // namespace

std::string keyIdText(const KeyId& id) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", (unsigned long long)littleEndian64(id.data()));
    return text;
}

std::string keyFileErrorText(KeyFileError error, const std::string& what) {
    switch (error) {
    case KeyFileError::kNone:
        return {};
    case KeyFileError::kNoUntrustedComment:
        return "the first line is not an untrusted comment";
    case KeyFileError::kBadBase64:
        return "the " + what + " line is not valid base64";
    case KeyFileError::kWrongLength:
        return "the " + what + " line has the wrong length";
    case KeyFileError::kUnknownAlgorithm:
        return "the " + what + " is of an unknown algorithm";
    case KeyFileError::kNoTrustedComment:
        return "the trusted comment line is missing";
    case KeyFileError::kBadGlobalSignature:
        return "the global signature line is missing or not valid base64 of 64 bytes";
    case KeyFileError::kTrailingText:
        return "text follows the " + what;
    case KeyFileError::kUnknownKdf:
        return "the secret key is sealed in a way this program does not know";
    case KeyFileError::kWrongPassphrase:
        return "the passphrase is wrong, or the secret key is damaged";
    case KeyFileError::kNoCrypto:
        return "the cryptography library could not be set up";
    case KeyFileError::kUnusableKey:
        return "the " + what + " is a degenerate point, not a key";
    }
    return "unknown error";
}

KeyFileError parsePublicKey(const std::string& text, PublicKey& key) {
    std::vector<std::string> lines;
    std::vector<uint8_t> bytes;
    if (const KeyFileError error = readCommentAndPayload(text, kPublicKeySize, lines, bytes);
        error != KeyFileError::kNone)
        return error;
    if (bytes[0] != 'E' || bytes[1] != 'd')
        return KeyFileError::kUnknownAlgorithm;
    if (lines.size() > 2)
        return KeyFileError::kTrailingText;
    key.untrustedComment = lines[0].substr(std::strlen(kUntrustedPrefix));
    std::memcpy(key.id.data(), &bytes[2], 8);
    std::memcpy(key.key.data(), &bytes[10], 32);
    return crypto::usablePublicKey(key.key) ? KeyFileError::kNone : KeyFileError::kUnusableKey;
}

KeyFileError parseSignature(const std::string& text, Signature& signature) {
    std::vector<std::string> lines;
    std::vector<uint8_t> bytes;
    if (const KeyFileError error = readCommentAndPayload(text, kSignatureSize, lines, bytes);
        error != KeyFileError::kNone)
        return error;
    if (bytes[0] != 'E' || (bytes[1] != 'd' && bytes[1] != 'D'))
        return KeyFileError::kUnknownAlgorithm;
    if (lines.size() < 3 || !startsWith(lines[2], kTrustedPrefix))
        return KeyFileError::kNoTrustedComment;
    std::vector<uint8_t> global;
    if (lines.size() < 4 || decodeLine(lines[3], 64, global) != KeyFileError::kNone)
        return KeyFileError::kBadGlobalSignature;
    if (lines.size() > 4)
        return KeyFileError::kTrailingText;
    signature.prehashed = bytes[1] == 'D';
    std::memcpy(signature.keyId.data(), &bytes[2], 8);
    std::memcpy(signature.signature.data(), &bytes[10], 64);
    signature.trustedComment = lines[2].substr(std::strlen(kTrustedPrefix));
    std::memcpy(signature.globalSignature.data(), global.data(), 64);
    return KeyFileError::kNone;
}

KeyFileError parseSecretKeyFile(const std::string& text, SecretKeyFile& file) {
    std::vector<std::string> lines;
    std::vector<uint8_t> bytes;
    if (const KeyFileError error = readCommentAndPayload(text, kSecretKeySize, lines, bytes);
        error != KeyFileError::kNone)
        return error;
    if (bytes[0] != 'E' || bytes[1] != 'd' || bytes[4] != 'B' || bytes[5] != '2')
        return KeyFileError::kUnknownAlgorithm;
    if (lines.size() > 2)
        return KeyFileError::kTrailingText;
    if (bytes[2] == 'S' && bytes[3] == 'c')
        file.encrypted = true;
    else if (bytes[2] == 0 && bytes[3] == 0)
        file.encrypted = false;
    else
        return KeyFileError::kUnknownKdf;
    std::memcpy(file.salt.data(), &bytes[6], 32);
    file.opsLimit = littleEndian64(&bytes[38]);
    file.memLimit = littleEndian64(&bytes[46]);
    file.sealed.assign(bytes.begin() + 54, bytes.end());
    int logN = 0;
    uint32_t p = 0;
    if (file.encrypted && !scryptParameters(file.opsLimit, file.memLimit, logN, p))
        return KeyFileError::kUnknownKdf;
    return KeyFileError::kNone;
}

KeyFileError openSecretKey(const SecretKeyFile& file, const std::string& passphrase,
                           SecretKey& key) {
    if (file.sealed.size() != kSealedSize)
        return KeyFileError::kWrongLength;
    std::vector<uint8_t> open = file.sealed;
    if (file.encrypted) {
        int logN = 0;
        uint32_t p = 0;
        if (!scryptParameters(file.opsLimit, file.memLimit, logN, p))
            return KeyFileError::kUnknownKdf;
        std::vector<uint8_t> stream(kSealedSize);
        if (!crypto::scrypt(passphrase, file.salt.data(), file.salt.size(), logN, p,
                            stream.data(), stream.size()))
            return KeyFileError::kNoCrypto;
        for (size_t i = 0; i < open.size(); ++i)
            open[i] ^= stream[i];
    }
    SecretKey opened;
    std::memcpy(opened.id.data(), &open[0], 8);
    std::memcpy(opened.seed.data(), &open[8], 32);
    std::memcpy(opened.publicKey.data(), &open[40], 32);
    const std::array<uint8_t, 32> check =
        secretKeyCheck({'E', 'd'}, opened.id, opened.seed, opened.publicKey);
    // The signing tool leaves the check zero in a key without a passphrase.
    const bool unchecked = !file.encrypted && std::all_of(open.begin() + 72, open.end(),
                                                          [](uint8_t b) { return b == 0; });
    if (!unchecked && std::memcmp(check.data(), &open[72], 32) != 0)
        return KeyFileError::kWrongPassphrase;
    // The seed must make the public key beside it: a damaged key would sign what nobody can
    // check.
    const uint8_t probe[] = {'k', 'e', 'y'};
    crypto::SignatureBytes signature{};
    if (!crypto::sign(opened.seed, opened.publicKey, probe, sizeof probe, signature) ||
        !crypto::verify(opened.publicKey, probe, sizeof probe, signature))
        return KeyFileError::kWrongPassphrase;
    key = opened;
    return KeyFileError::kNone;
}

std::string formatPublicKey(const PublicKey& key) {
    std::vector<uint8_t> bytes = {'E', 'd'};
    bytes.insert(bytes.end(), key.id.begin(), key.id.end());
    bytes.insert(bytes.end(), key.key.begin(), key.key.end());
    return kUntrustedPrefix + key.untrustedComment + "\n" + base64Encode(bytes) + "\n";
}

std::string formatSignature(const Signature& signature, const std::string& untrustedComment) {
    std::vector<uint8_t> bytes = {'E', uint8_t(signature.prehashed ? 'D' : 'd')};
    bytes.insert(bytes.end(), signature.keyId.begin(), signature.keyId.end());
    bytes.insert(bytes.end(), signature.signature.begin(), signature.signature.end());
    return kUntrustedPrefix + untrustedComment + "\n" + base64Encode(bytes) + "\n" +
           kTrustedPrefix + signature.trustedComment + "\n" +
           base64Encode(signature.globalSignature.data(), signature.globalSignature.size()) +
           "\n";
}

bool generateKeys(const std::string& passphrase, const KdfLimits& limits,
                  const std::string& publicComment, SecretKey& secret, std::string& secretText,
                  std::string& publicText) {
    SecretKey key;
    if (!crypto::generateKeyPair(key.seed, key.publicKey))
        return false;
    crypto::randomBytes(key.id.data(), key.id.size());

    std::vector<uint8_t> bytes = {'E', 'd', 0, 0, 'B', '2'};
    const bool encrypted = !passphrase.empty();
    if (encrypted) {
        bytes[2] = 'S';
        bytes[3] = 'c';
    }
    std::array<uint8_t, 32> salt{};
    std::array<uint8_t, 16> stored{};
    if (encrypted) {
        crypto::randomBytes(salt.data(), salt.size());
        putLittleEndian64(limits.opsLimit, &stored[0]);
        putLittleEndian64(limits.memLimit, &stored[8]);
    }
    bytes.insert(bytes.end(), salt.begin(), salt.end());
    bytes.insert(bytes.end(), stored.begin(), stored.end());

    std::vector<uint8_t> sealed(key.id.begin(), key.id.end());
    sealed.insert(sealed.end(), key.seed.begin(), key.seed.end());
    sealed.insert(sealed.end(), key.publicKey.begin(), key.publicKey.end());
    const std::array<uint8_t, 32> check =
        secretKeyCheck({'E', 'd'}, key.id, key.seed, key.publicKey);
    sealed.insert(sealed.end(), check.begin(), check.end());
    if (encrypted) {
        int logN = 0;
        uint32_t p = 0;
        std::vector<uint8_t> stream(kSealedSize);
        if (!scryptParameters(limits.opsLimit, limits.memLimit, logN, p) ||
            !crypto::scrypt(passphrase, salt.data(), salt.size(), logN, p, stream.data(),
                            stream.size()))
            return false;
        for (size_t i = 0; i < sealed.size(); ++i)
            sealed[i] ^= stream[i];
    }
    bytes.insert(bytes.end(), sealed.begin(), sealed.end());

    secretText = std::string(kUntrustedPrefix) +
                 (encrypted ? "minisign encrypted secret key" : "minisign secret key") + "\n" +
                 base64Encode(bytes) + "\n";
    PublicKey publicKey;
    publicKey.id = key.id;
    publicKey.key = key.publicKey;
    publicKey.untrustedComment = publicComment;
    publicText = formatPublicKey(publicKey);
    secret = key;
    return true;
}

bool signBytes(const SecretKey& key, const std::vector<uint8_t>& bytes,
               const std::string& trustedComment, Signature& signature) {
    Signature made;
    made.prehashed = true;
    made.keyId = key.id;
    made.trustedComment = trustedComment;
    const std::array<uint8_t, 64> hash = crypto::blake2b512(bytes.data(), bytes.size());
    if (!crypto::sign(key.seed, key.publicKey, hash.data(), hash.size(), made.signature))
        return false;
    std::vector<uint8_t> global(made.signature.begin(), made.signature.end());
    global.insert(global.end(), trustedComment.begin(), trustedComment.end());
    if (!crypto::sign(key.seed, key.publicKey, global.data(), global.size(),
                      made.globalSignature))
        return false;
    signature = made;
    return true;
}

SignatureCheck checkSignature(const Signature& signature, const PublicKey& key,
                              const std::vector<uint8_t>& bytes) {
    bool holds = false;
    if (signature.prehashed) {
        const std::array<uint8_t, 64> hash = crypto::blake2b512(bytes.data(), bytes.size());
        holds = crypto::verify(key.key, hash.data(), hash.size(), signature.signature);
    } else {
        holds = crypto::verify(key.key, bytes.data(), bytes.size(), signature.signature);
    }
    if (!holds)
        return SignatureCheck::kFileChanged;
    return trustedCommentHolds(signature, key) ? SignatureCheck::kHolds
                                               : SignatureCheck::kCommentChanged;
}

bool trustedCommentHolds(const Signature& signature, const PublicKey& key) {
    std::vector<uint8_t> global(signature.signature.begin(), signature.signature.end());
    global.insert(global.end(), signature.trustedComment.begin(), signature.trustedComment.end());
    return crypto::verify(key.key, global.data(), global.size(), signature.globalSignature);
}

}  // namespace files
