#pragma once
// The cryptography the signatures of update files need, all of it from libgcrypt: Ed25519,
// BLAKE2b, scrypt and random bytes. Nothing here parses files or knows their layout.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace files::crypto {

using PublicKeyBytes = std::array<uint8_t, 32>;
using SeedBytes = std::array<uint8_t, 32>;
using SignatureBytes = std::array<uint8_t, 64>;

// False when the library could not be set up (a version older than the one built against).
bool available();

// `size` random bytes of the strength keys need.
void randomBytes(uint8_t* out, size_t size);

// SHA-256 (the run records name update files by it).
std::array<uint8_t, 32> sha256(const uint8_t* data, size_t size);
// BLAKE2b with a 64-byte and a 32-byte digest.
std::array<uint8_t, 64> blake2b512(const uint8_t* data, size_t size);
std::array<uint8_t, 32> blake2b256(const std::vector<const std::vector<uint8_t>*>& parts);

// A new key pair: the secret seed and its public key. False when the library failed.
bool generateKeyPair(SeedBytes& seed, PublicKeyBytes& publicKey);

// The Ed25519 signature of `message` with the key of `seed`. False when the library failed.
bool sign(const SeedBytes& seed, const PublicKeyBytes& publicKey, const uint8_t* message,
          size_t size, SignatureBytes& signature);

// False for the encodings whose y is 0, 1 or -1 modulo 2^255 - 19: points of low order that no
// generated key is, and on which libgcrypt ends the process instead of failing the check.
bool usablePublicKey(const PublicKeyBytes& key);

// True when `signature` of `message` holds for `publicKey` (false for an unusable key).
bool verify(const PublicKeyBytes& publicKey, const uint8_t* message, size_t size,
            const SignatureBytes& signature);

// scrypt with r = 8: cost N = 2^logN, parallelism p; `size` bytes into `out`. False when the
// library refused (out of memory, parameters out of range).
bool scrypt(const std::string& passphrase, const uint8_t* salt, size_t saltSize, int logN,
            uint32_t p, uint8_t* out, size_t size);

}  // namespace files::crypto
