// Signatures of update files in the signing tool's formats: texts that are refused and why, and
// round trips both ways with the real `minisign` program (keys, prehashed and legacy signatures,
// secret keys with and without a passphrase).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "programmer/files/base64.h"
#include "programmer/files/signature.h"
#include "programmer/files/signing_policy.h"
#include "tools/temp_folder.h"

namespace {

using files::KeyFileError;
using Bytes = std::vector<uint8_t>;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
// Runs a shell command; its exit status.
int shell(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
std::string lineOf(const std::string& text, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i)
        start = text.find('\n', start) + 1;
    return text.substr(start, text.find('\n', start) - start);
}
std::string withLine(const std::string& text, int index, const std::string& line) {
    size_t start = 0;
    for (int i = 0; i < index; ++i)
        start = text.find('\n', start) + 1;
    return text.substr(0, start) + line + text.substr(text.find('\n', start));
}

TEST(Base64, DecodesOnlyCanonicalText) {
    const struct {
        std::string text;
        bool valid;
        std::string bytes;
    } cases[] = {
        {"", true, ""},           {"Zg==", true, "f"},      {"Zm8=", true, "fo"},
        {"Zm9v", true, "foo"},    {"Zm9vYg==", true, "foob"},
        {"Zh==", false, ""},      // padding bits set
        {"Zm9=", false, ""},      // padding bits set
        {"Zg=", false, ""},       // length not a multiple of 4
        {"Z===", false, ""},      // three padding characters
        {"Zg==Zm9v", false, ""},  // data after padding
        {"Zm9v!A==", false, ""},  // outside the alphabet
        {"Zm=v", false, ""},      // padding in the middle of a group
    };
    for (const auto& c : cases) {
        const auto decoded = files::base64Decode(c.text);
        ASSERT_EQ(decoded.has_value(), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(std::string(decoded->begin(), decoded->end()), c.bytes) << c.text;
            EXPECT_EQ(files::base64Encode(*decoded), c.text);
        }
    }
}

class Signing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(files::generateKeys("", files::kKdfInteractive, "Maker", key_, secretText_,
                                        publicText_));
        ASSERT_EQ(files::parsePublicKey(publicText_, publicKey_), KeyFileError::kNone);
    }
    std::string signedText(const Bytes& bytes, const std::string& comment = "file:a.qup") {
        files::Signature signature;
        EXPECT_TRUE(files::signBytes(key_, bytes, comment, signature));
        return files::formatSignature(signature, "signature");
    }
    files::SecretKey key_;
    std::string secretText_, publicText_;
    files::PublicKey publicKey_;
    tools::TempFolder folder_;
};

TEST_F(Signing, RefusesDamagedSignatureTextsWithTheirCause) {
    const std::string good = signedText({1, 2, 3});
    const std::string line1 = lineOf(good, 1);
    Bytes raw = *files::base64Decode(line1);
    raw[1] = 'X';
    const struct {
        const char* name;
        std::string text;
        KeyFileError error;
        const char* message;
    } cases[] = {
        {"empty", "", KeyFileError::kNoUntrustedComment, "the first line is not an untrusted comment"},
        {"truncated in the signature line", good.substr(0, good.find('\n') + 42),
         KeyFileError::kBadBase64, "the signature line is not valid base64"},
        {"truncated after the signature line", good.substr(0, good.find("trusted comment: ", 20)),
         KeyFileError::kNoTrustedComment, "the trusted comment line is missing"},
        {"signature line four characters short", withLine(good, 1, line1.substr(4)),
         KeyFileError::kWrongLength, "the signature line has the wrong length"},
        {"garbled base64", withLine(good, 1, "*" + line1.substr(1)), KeyFileError::kBadBase64,
         "the signature line is not valid base64"},
        {"wrong algorithm tag", withLine(good, 1, files::base64Encode(raw)),
         KeyFileError::kUnknownAlgorithm, "the signature is of an unknown algorithm"},
        {"garbled global signature", withLine(good, 3, "#" + lineOf(good, 3).substr(1)),
         KeyFileError::kBadGlobalSignature,
         "the global signature line is missing or not valid base64 of 64 bytes"},
        {"text after the signature", good + "more\n", KeyFileError::kTrailingText,
         "text follows the signature"},
    };
    for (const auto& c : cases) {
        files::Signature parsed;
        EXPECT_EQ(files::parseSignature(c.text, parsed), c.error) << c.name;
        EXPECT_EQ(files::keyFileErrorText(c.error, "signature"), c.message) << c.name;
    }
    files::Signature parsed;
    EXPECT_EQ(files::parseSignature(good, parsed), KeyFileError::kNone);
    // Windows line ends are the same text.
    std::string crlf;
    for (const char c : good)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(files::parseSignature(crlf, parsed), KeyFileError::kNone);
}

TEST_F(Signing, ChecksBytesThenTrustedComment) {
    const Bytes bytes(1000, 0x5A);
    files::Signature signature;
    ASSERT_EQ(files::parseSignature(signedText(bytes), signature), KeyFileError::kNone);
    EXPECT_EQ(files::checkSignature(signature, publicKey_, bytes), files::SignatureCheck::kHolds);
    for (const size_t at : {size_t(0), size_t(500), size_t(999)}) {
        Bytes changed = bytes;
        changed[at] ^= 1;
        EXPECT_EQ(files::checkSignature(signature, publicKey_, changed),
                  files::SignatureCheck::kFileChanged) << at;
    }
    signature.trustedComment += "x";
    EXPECT_EQ(files::checkSignature(signature, publicKey_, bytes),
              files::SignatureCheck::kCommentChanged);
}

TEST_F(Signing, SecretKeyOpensOnlyWithItsPassphrase) {
    files::SecretKey sealedKey;
    std::string secret, pub;
    ASSERT_TRUE(files::generateKeys("right", files::kKdfInteractive, "Maker", sealedKey, secret,
                                    pub));
    files::SecretKeyFile file;
    ASSERT_EQ(files::parseSecretKeyFile(secret, file), KeyFileError::kNone);
    EXPECT_TRUE(file.encrypted);
    files::SecretKey opened;
    EXPECT_EQ(files::openSecretKey(file, "wrong", opened), KeyFileError::kWrongPassphrase);
    ASSERT_EQ(files::openSecretKey(file, "right", opened), KeyFileError::kNone);
    EXPECT_EQ(opened.id, sealedKey.id);
    EXPECT_EQ(opened.seed, sealedKey.seed);
    // A sealed key that asks scrypt for far more work than the signing tool ever does.
    Bytes raw = *files::base64Decode(lineOf(secret, 1));
    raw[38 + 5] = 0x01;  // operations limit beyond 2^40
    EXPECT_EQ(files::parseSecretKeyFile(withLine(secret, 1, files::base64Encode(raw)), file),
              KeyFileError::kUnknownKdf);
}

// Keys whose point has y = 0, 1 or -1 (also written as y + p, or with x's sign bit) would end
// the process inside libgcrypt; they are refused as keys and never reach it.
TEST(PublicKey, DegeneratePointsAreRefusedAndNeverChecked) {
    const std::vector<std::pair<uint8_t, uint8_t>> lowAndHigh = {
        {0x00, 0x00}, {0x01, 0x00}, {0xEC, 0x7F}, {0xED, 0x7F}, {0xEE, 0x7F}, {0x00, 0x80}};
    for (const auto& [low, high] : lowAndHigh) {
        files::crypto::PublicKeyBytes key{};
        key[0] = low;
        key[31] = high;
        if (high == 0x7F)
            std::fill(key.begin() + 1, key.end() - 1, uint8_t(0xFF));
        EXPECT_FALSE(files::crypto::usablePublicKey(key)) << int(low);
        Bytes raw(42, 7);  // "Ed", a key id, the point
        raw[0] = 'E';
        raw[1] = 'd';
        std::copy(key.begin(), key.end(), raw.begin() + 10);
        files::PublicKey parsed;
        EXPECT_EQ(files::parsePublicKey("untrusted comment: k\n" + files::base64Encode(raw),
                                        parsed),
                  KeyFileError::kUnusableKey);
        EXPECT_FALSE(files::crypto::verify(key, raw.data(), raw.size(), {}));
    }
}

TEST(PolicyText, AcceptsOnlyTheRequireSignedSetting) {
    const struct {
        const char* text;
        bool ok, require;
        const char* problem;
    } cases[] = {
        {"", true, false, ""},
        {"# site policy\nrequire-signed = true\n", true, true, ""},
        {"require-signed=yes # all of them", true, true, ""},
        {"require-signed = true\nrequire-signed = false\n", true, false, ""},
        {"require-signed = maybe\n", false, false,
         "line 1: require-signed is \"maybe\", not true or false"},
        {"\nrequire-signatures = true\n", false, false,
         "line 2 is not \"require-signed = true\""},
        {"require-signed\n", false, false, "line 1 is not \"require-signed = true\""},
    };
    for (const auto& c : cases) {
        bool require = false;
        std::string problem;
        EXPECT_EQ(files::parsePolicyText(c.text, require, problem), c.ok) << c.text;
        EXPECT_EQ(problem, c.problem) << c.text;
        if (c.ok) {
            EXPECT_EQ(require, c.require) << c.text;
        }
    }
}

// A second site folder (the staged one a user's environment can name) can only add the need for
// signatures, never lift the installed site's.
TEST(PolicyText, AFurtherSiteFolderOnlyTightens) {
    const struct {
        const char *installed, *staged;
        bool require;
    } cases[] = {
        {"require-signed = true\n", "require-signed = false\n", true},
        {"require-signed = false\n", "require-signed = true\n", true},
        {nullptr, "require-signed = false\n", false},
        {nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        tools::TempFolder installed, staged;
        if (c.installed != nullptr)
            std::ofstream(installed.path("policy.conf")) << c.installed;
        if (c.staged != nullptr)
            std::ofstream(staged.path("policy.conf")) << c.staged;
        const files::SigningPolicy policy =
            files::loadSigningPolicy({installed.path(), staged.path()}, "", false);
        EXPECT_EQ(policy.requireSigned(), c.require)
            << (c.installed ? c.installed : "-") << " / " << (c.staged ? c.staged : "-");
        EXPECT_TRUE(policy.warnings.empty());
    }
}

// With the real signing tool: each side signs, the other checks.
class WithMinisign : public Signing {
protected:
    void SetUp() override {
        Signing::SetUp();
        if (shell("minisign -v") != 0)
            GTEST_FAIL() << "minisign is missing (scripts/setup.sh installs it)";
        writeText(file(), std::string(4000, 'q') + "end");
    }
    std::string file() const { return folder_.path("fw.qup"); }
    files::SignatureCheck check(const files::PublicKey& key) {
        files::Signature signature;
        EXPECT_EQ(files::parseSignature(readText(file() + ".minisig"), signature),
                  KeyFileError::kNone);
        const std::string text = readText(file());
        return files::checkSignature(signature, key, Bytes(text.begin(), text.end()));
    }
};

TEST_F(WithMinisign, ItsSignaturesHoldHereInBothForms) {
    const std::string pub = folder_.path("m.pub"), key = folder_.path("m.key");
    ASSERT_EQ(shell("minisign -G -W -p " + pub + " -s " + key), 0);
    files::PublicKey publicKey;
    ASSERT_EQ(files::parsePublicKey(readText(pub), publicKey), KeyFileError::kNone);
    for (const char* legacy : {"", " -l"}) {
        ASSERT_EQ(shell("minisign -S" + std::string(legacy) + " -s " + key + " -m " + file() +
                        " -t 'made by the tool'"), 0);
        files::Signature signature;
        ASSERT_EQ(files::parseSignature(readText(file() + ".minisig"), signature),
                  KeyFileError::kNone);
        EXPECT_EQ(signature.prehashed, std::string(legacy).empty());
        EXPECT_EQ(signature.trustedComment, "made by the tool");
        EXPECT_EQ(check(publicKey), files::SignatureCheck::kHolds) << legacy;
    }
    // Its secret key without a passphrase signs here too, and it checks the result.
    files::SecretKeyFile secretFile;
    files::SecretKey secret;
    ASSERT_EQ(files::parseSecretKeyFile(readText(key), secretFile), KeyFileError::kNone);
    ASSERT_EQ(files::openSecretKey(secretFile, "", secret), KeyFileError::kNone);
    EXPECT_EQ(secret.id, publicKey.id);
}

TEST_F(WithMinisign, OurSignaturesAndKeysHoldThere) {
    const std::string pub = folder_.path("ours.pub");
    writeText(pub, publicText_);
    const std::string text = readText(file());
    writeText(file() + ".minisig", signedText(Bytes(text.begin(), text.end()), "file:fw.qup"));
    EXPECT_EQ(shell("minisign -V -H -p " + pub + " -m " + file()), 0);
    writeText(file(), text + "!");
    EXPECT_NE(shell("minisign -V -p " + pub + " -m " + file()), 0);

    // A key sealed here with a passphrase signs there.
    files::SecretKey sealed;
    std::string secretText, publicText;
    ASSERT_TRUE(files::generateKeys("pass word", files::kKdfInteractive, "Maker", sealed,
                                    secretText, publicText));
    writeText(folder_.path("sealed.key"), secretText);
    writeText(folder_.path("sealed.pub"), publicText);
    ASSERT_EQ(shell("echo 'pass word' | minisign -S -s " + folder_.path("sealed.key") + " -m " +
                    file()), 0);
    files::PublicKey sealedPublic;
    ASSERT_EQ(files::parsePublicKey(publicText, sealedPublic), KeyFileError::kNone);
    EXPECT_EQ(check(sealedPublic), files::SignatureCheck::kHolds);
}

}  // namespace
