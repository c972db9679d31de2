#include "programmer/files/crypto_primitives.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace files::crypto {

namespace {

// The library's own notes (on Windows its random gatherer suggests running "diskperf -y") are
// not the user's business; its errors still reach standard error.
void logHandler(void*, int level, const char* format, va_list arguments) {
    if (level >= GCRY_LOG_ERROR)
        std::vfprintf(stderr, format, arguments);
}

bool setUp() {
    static bool ready = false;
    static std::once_flag once;
    std::call_once(once, [] {
        if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {
            ready = true;  // the host program set the library up already
            return;
        }
        gcry_set_log_handler(logHandler, nullptr);
        if (gcry_check_version(GCRYPT_VERSION) == nullptr)
            return;
        // Secret keys live only for the moment of one signature; the locked pool would warn on
        // every machine that limits locked memory.
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        ready = true;
    });
    return ready;
}

// An S-expression released when it goes out of scope.
class Sexp {
public:
    Sexp() = default;
    explicit Sexp(gcry_sexp_t value) : value_(value) {}
    ~Sexp() { gcry_sexp_release(value_); }
    Sexp(const Sexp&) = delete;
    Sexp& operator=(const Sexp&) = delete;
    gcry_sexp_t* out() { return &value_; }
    gcry_sexp_t get() const { return value_; }

private:
    gcry_sexp_t value_ = nullptr;
};

// The bytes of the token `name` inside `sexp`, right-aligned into `out` (the library may leave
// out leading zero bytes, or put a 0x40 prefix before a point). False when missing or too long.
template <size_t N>
bool tokenBytes(gcry_sexp_t sexp, const char* name, std::array<uint8_t, N>& out) {
    Sexp token(gcry_sexp_find_token(sexp, name, 0));
    if (token.get() == nullptr)
        return false;
    size_t size = 0;
    const char* data = gcry_sexp_nth_data(token.get(), 1, &size);
    if (data == nullptr)
        return false;
    if (size == N + 1 && uint8_t(data[0]) == 0x40) {
        ++data;
        --size;
    }
    if (size > N)
        return false;
    out.fill(0);
    std::memcpy(out.data() + (N - size), data, size);
    return true;
}

}  // namespace

bool usablePublicKey(const PublicKeyBytes& key) {
    // y, the low 255 bits (little-endian), reduced modulo p = 2^255 - 19: only values from p up
    // to 2^255 - 1 need it, and they become y - p.
    std::array<uint8_t, 32> y = key;
    y[31] &= 0x7F;
    bool atLeastP = y[0] >= 0xED && y[31] == 0x7F;
    for (size_t i = 1; i < 31; ++i)
        atLeastP = atLeastP && y[i] == 0xFF;
    if (atLeastP) {
        const uint8_t low = uint8_t(y[0] - 0xED);
        y.fill(0);
        y[0] = low;
    }
    const bool high = std::any_of(y.begin() + 1, y.end(), [](uint8_t b) { return b != 0; });
    // p - 1 is -1.
    bool minusOne = y[0] == 0xEC && y[31] == 0x7F;
    for (size_t i = 1; i < 31; ++i)
        minusOne = minusOne && y[i] == 0xFF;
    return !minusOne && (high || y[0] > 1);
}

bool available() {
    return setUp();
}

void randomBytes(uint8_t* out, size_t size) {
    setUp();
    gcry_randomize(out, size, GCRY_VERY_STRONG_RANDOM);
}

std::array<uint8_t, 32> sha256(const uint8_t* data, size_t size) {
    setUp();
    std::array<uint8_t, 32> digest{};
    gcry_md_hash_buffer(GCRY_MD_SHA256, digest.data(), data, size);
    return digest;
}

std::array<uint8_t, 64> blake2b512(const uint8_t* data, size_t size) {
    setUp();
    std::array<uint8_t, 64> digest{};
    gcry_md_hash_buffer(GCRY_MD_BLAKE2B_512, digest.data(), data, size);
    return digest;
}

std::array<uint8_t, 32> blake2b256(const std::vector<const std::vector<uint8_t>*>& parts) {
    setUp();
    std::array<uint8_t, 32> digest{};
    gcry_md_hd_t hash = nullptr;
    if (gcry_md_open(&hash, GCRY_MD_BLAKE2B_256, 0) != 0)
        return digest;
    for (const std::vector<uint8_t>* part : parts)
        gcry_md_write(hash, part->data(), part->size());
    std::memcpy(digest.data(), gcry_md_read(hash, GCRY_MD_BLAKE2B_256), digest.size());
    gcry_md_close(hash);
    return digest;
}

bool generateKeyPair(SeedBytes& seed, PublicKeyBytes& publicKey) {
    if (!setUp())
        return false;
    Sexp parameters;
    if (gcry_sexp_build(parameters.out(), nullptr, "(genkey (ecc (curve Ed25519) (flags eddsa)))") !=
        0)
        return false;
    Sexp pair;
    if (gcry_pk_genkey(pair.out(), parameters.get()) != 0)
        return false;
    Sexp secret(gcry_sexp_find_token(pair.get(), "private-key", 0));
    return secret.get() != nullptr && tokenBytes(secret.get(), "d", seed) &&
           tokenBytes(secret.get(), "q", publicKey);
}

bool sign(const SeedBytes& seed, const PublicKeyBytes& publicKey, const uint8_t* message,
          size_t size, SignatureBytes& signature) {
    if (!setUp() || !usablePublicKey(publicKey))
        return false;
    Sexp key;
    if (gcry_sexp_build(key.out(), nullptr,
                        "(private-key (ecc (curve Ed25519) (flags eddsa) (q %b) (d %b)))",
                        int(publicKey.size()), publicKey.data(), int(seed.size()), seed.data()) != 0)
        return false;
    Sexp data;
    if (gcry_sexp_build(data.out(), nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                        int(size), message) != 0)
        return false;
    Sexp result;
    if (gcry_pk_sign(result.out(), data.get(), key.get()) != 0)
        return false;
    std::array<uint8_t, 32> r{};
    std::array<uint8_t, 32> s{};
    if (!tokenBytes(result.get(), "r", r) || !tokenBytes(result.get(), "s", s))
        return false;
    std::memcpy(signature.data(), r.data(), 32);
    std::memcpy(signature.data() + 32, s.data(), 32);
    return true;
}

bool verify(const PublicKeyBytes& publicKey, const uint8_t* message, size_t size,
            const SignatureBytes& signature) {
    if (!setUp())
        return false;
    if (!usablePublicKey(publicKey))
        return false;
    Sexp key;
    if (gcry_sexp_build(key.out(), nullptr, "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                        int(publicKey.size()), publicKey.data()) != 0)
        return false;
    Sexp value;
    if (gcry_sexp_build(value.out(), nullptr, "(sig-val (eddsa (r %b) (s %b)))", 32,
                        signature.data(), 32, signature.data() + 32) != 0)
        return false;
    Sexp data;
    if (gcry_sexp_build(data.out(), nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                        int(size), message) != 0)
        return false;
    return gcry_pk_verify(value.get(), data.get(), key.get()) == 0;
}

bool scrypt(const std::string& passphrase, const uint8_t* salt, size_t saltSize, int logN,
            uint32_t p, uint8_t* out, size_t size) {
    if (!setUp() || logN < 1 || logN > 30 || p == 0)
        return false;
    return gcry_kdf_derive(passphrase.data(), passphrase.size(), GCRY_KDF_SCRYPT, 1 << logN, salt,
                           saltSize, p, size, out) == 0;
}

}  // namespace files::crypto
