#pragma once
// Signed update files: the detached signature beside an update file (NAME.qup.minisig), the
// public keys that check it and the secret keys that make it, in the text formats of the
// `minisign` tool, so a maker may sign with either program and both check the result.
//
// Public key:  "untrusted comment: TEXT" line, then base64 of "Ed", key id (8), key (32).
// Signature:   "untrusted comment: TEXT" line; base64 of the algorithm ("ED": the signature is
//              over the BLAKE2b-512 hash of the file; "Ed": over the file itself), key id (8),
//              signature (64); "trusted comment: TEXT" line; base64 of the global signature (64)
//              over the signature and the trusted comment's text.
// Secret key:  "untrusted comment: TEXT" line, then base64 of "Ed", the passphrase scheme ("Sc":
//              scrypt, two zero bytes: none), "B2", salt (32), scrypt's operations and memory
//              limits (8 each, little-endian), then key id (8), seed and public key (64) and a
//              BLAKE2b-256 check (32); these last 104 bytes are XORed with scrypt's output of the
//              passphrase when it has one.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "programmer/files/crypto_primitives.h"

namespace files {

using KeyId = std::array<uint8_t, 8>;

// The key id as the tools print it: the 8 bytes as a little-endian number, 16 hex digits.
std::string keyIdText(const KeyId& id);

struct PublicKey {
    KeyId id{};
    crypto::PublicKeyBytes key{};
    std::string untrustedComment;
};

struct Signature {
    bool prehashed = true;  // "ED"; false for the legacy "Ed"
    KeyId keyId{};
    crypto::SignatureBytes signature{};
    std::string trustedComment;
    crypto::SignatureBytes globalSignature{};
};

struct SecretKey {
    KeyId id{};
    crypto::SeedBytes seed{};
    crypto::PublicKeyBytes publicKey{};
};

// Why a key or signature text was refused; the texts name the cause for people.
enum class KeyFileError {
    kNone,
    kNoUntrustedComment,
    kBadBase64,
    kWrongLength,
    kUnknownAlgorithm,
    kNoTrustedComment,
    kBadGlobalSignature,
    kTrailingText,
    kUnknownKdf,
    kWrongPassphrase,
    kNoCrypto,
    kUnusableKey,
};
// "the signature line is not valid base64", ...; `what` names the line's content ("signature",
// "public key", "secret key").
std::string keyFileErrorText(KeyFileError error, const std::string& what);

KeyFileError parsePublicKey(const std::string& text, PublicKey& key);
KeyFileError parseSignature(const std::string& text, Signature& signature);

// The passphrase scheme and its stored limits, as read before the passphrase is needed.
struct SecretKeyFile {
    bool encrypted = false;
    std::array<uint8_t, 32> salt{};
    uint64_t opsLimit = 0;
    uint64_t memLimit = 0;
    std::vector<uint8_t> sealed;  // key id, seed, public key and check, 104 bytes
};
KeyFileError parseSecretKeyFile(const std::string& text, SecretKeyFile& file);
// Opens the sealed part with `passphrase` (ignored for a key without one) and checks it.
KeyFileError openSecretKey(const SecretKeyFile& file, const std::string& passphrase,
                           SecretKey& key);

std::string formatPublicKey(const PublicKey& key);
std::string formatSignature(const Signature& signature, const std::string& untrustedComment);

// scrypt's work and memory limits stored in a new secret key. kSensitive is what the signing
// tool itself uses; kInteractive opens in a fraction of a second.
struct KdfLimits {
    uint64_t opsLimit;
    uint64_t memLimit;
};
constexpr KdfLimits kKdfSensitive{33554432, 1073741824};
constexpr KdfLimits kKdfInteractive{524288, 16777216};

// A new key pair. The secret key text is sealed with `passphrase` unless it is empty.
// False when the library failed.
bool generateKeys(const std::string& passphrase, const KdfLimits& limits,
                  const std::string& publicComment, SecretKey& secret, std::string& secretText,
                  std::string& publicText);

// Signs `bytes` (prehashed) with `key`; the trusted comment is signed as well.
bool signBytes(const SecretKey& key, const std::vector<uint8_t>& bytes,
               const std::string& trustedComment, Signature& signature);

// Checks of a parsed signature against a key. The file's signature first, then the global one.
enum class SignatureCheck { kHolds, kFileChanged, kCommentChanged };
// The global signature: the trusted comment is the one the key's owner signed.
bool trustedCommentHolds(const Signature& signature, const PublicKey& key);
SignatureCheck checkSignature(const Signature& signature, const PublicKey& key,
                              const std::vector<uint8_t>& bytes);

}  // namespace files
