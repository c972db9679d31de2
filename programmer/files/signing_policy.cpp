#include "programmer/files/signing_policy.h"

#include <cerrno>

#include "platform/file_access.h"
#include "platform/places.h"
#include "programmer/files/file_io.h"

namespace files {

namespace {

constexpr uint64_t kPolicyFileMaxSize = 65536;
constexpr uint64_t kSignatureFileMaxSize = 65536;

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string fileNameOf(const std::string& path) {
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The value of "file:NAME" in a trusted comment ("timestamp:T<TAB>file:NAME<TAB>..."); empty
// when there is none.
std::string signedFileName(const std::string& trustedComment) {
    size_t start = 0;
    while (start <= trustedComment.size()) {
        size_t end = trustedComment.find('\t', start);
        if (end == std::string::npos)
            end = trustedComment.size();
        const std::string field = trustedComment.substr(start, end - start);
        if (field.compare(0, 5, "file:") == 0)
            return field.substr(5);
        start = end + 1;
    }
    return {};
}

TrustVerdict refused(std::string message) {
    return {TrustOutcome::kRefused, std::move(message) + "\n"};
}

}  // namespace

bool parsePolicyText(const std::string& text, bool& requireSigned, std::string& problem) {
    bool require = false;
    size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++lineNumber;
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t comment = line.find('#');
        if (comment != std::string::npos)
            line.erase(comment);
        line = trimmed(line);
        if (line.empty())
            continue;
        const size_t equals = line.find('=');
        const std::string key = trimmed(line.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? std::string() : trimmed(line.substr(equals + 1));
        if (key != "require-signed" || equals == std::string::npos) {
            problem = "line " + std::to_string(lineNumber) + " is not \"require-signed = true\"";
            return false;
        }
        if (value == "true" || value == "yes" || value == "1") {
            require = true;
        } else if (value == "false" || value == "no" || value == "0") {
            require = false;
        } else {
            problem = "line " + std::to_string(lineNumber) + ": require-signed is \"" + value +
                      "\", not true or false";
            return false;
        }
    }
    requireSigned = require;
    return true;
}

namespace {

// Reads `folder`/policy.conf into `policy`: it can only add the need for signatures.
void readSitePolicy(const std::string& folder, SigningPolicy& policy) {
    const std::string file = folder + "/policy.conf";
    std::vector<uint8_t> bytes;
    const int error = readWholeFile(file, bytes, kPolicyFileMaxSize);
    const std::string doubt = "The site policy " + file + " ";
    const std::string strict = "; signed update files are required.";
    std::string problem;
    bool require = false;
    if (error == ENOENT) {
        // No policy: unsigned files load with a note.
    } else if (error != 0) {
        require = true;
        policy.warnings.push_back(doubt + "cannot be read (error " + std::to_string(error) + ")" +
                                  strict);
    } else if (!parsePolicyText(std::string(bytes.begin(), bytes.end()), require, problem)) {
        require = true;
        policy.warnings.push_back(doubt + "is not understood (" + problem + ")" + strict);
    } else if (!require && platform::writableByOthers(file)) {
        require = true;
        policy.warnings.push_back(doubt + "may be changed by other users" + strict);
    }
    policy.siteRequiresSigned = policy.siteRequiresSigned || require;
}

}  // namespace

SigningPolicy loadSigningPolicy(const std::vector<std::string>& siteFolders,
                                const std::string& userFolder, bool userRequiresSigned) {
    SigningPolicy policy;
    policy.userRequiresSigned = userRequiresSigned;
    std::vector<std::string> keyFolders;
    for (const std::string& folder : siteFolders) {
        if (folder.empty())
            continue;
        readSitePolicy(folder, policy);
        keyFolders.push_back(folder + "/trusted-keys");
    }
    if (!userFolder.empty())
        keyFolders.push_back(userFolder + "/trusted-keys");
    policy.store = loadTrustStore(keyFolders);
    policy.warnings.insert(policy.warnings.end(), policy.store.warnings.begin(),
                           policy.store.warnings.end());
    return policy;
}

SigningPolicy loadSigningPolicy(const std::string& systemFolder, const std::string& userFolder,
                                bool userRequiresSigned) {
    return loadSigningPolicy(std::vector<std::string>{systemFolder}, userFolder,
                             userRequiresSigned);
}

SigningPolicy loadSigningPolicy(bool userRequiresSigned) {
    std::vector<std::string> siteFolders{platform::systemConfigFolder()};
    const std::string staged = platform::stagedConfigFolder();
    if (staged != siteFolders.front())
        siteFolders.push_back(staged);
    return loadSigningPolicy(siteFolders, platform::userConfigFolder(), userRequiresSigned);
}

std::string signatureFileOf(const std::string& path) {
    return path + ".minisig";
}

TrustVerdict checkUpdateFileTrust(const std::string& path, const std::vector<uint8_t>& bytes,
                                  const SigningPolicy& policy) {
    const std::string signatureFile = signatureFileOf(path);
    std::vector<uint8_t> text;
    const int error = readWholeFile(signatureFile, text, kSignatureFileMaxSize);
    if (error == ENOENT) {
        if (policy.requireSigned())
            return refused(path + " is not signed, and only signed update files are accepted "
                                  "here.");
        return {TrustOutcome::kUnsigned, path + " is not signed."};
    }
    if (error != 0)
        return refused("The signature " + signatureFile + " cannot be read (error " +
                       std::to_string(error) + ").");

    Signature signature;
    const KeyFileError parsed = parseSignature(std::string(text.begin(), text.end()), signature);
    if (parsed != KeyFileError::kNone)
        return refused("The signature " + signatureFile + " is damaged: " +
                       keyFileErrorText(parsed, "signature") + ".");

    const std::vector<const TrustedKey*> keys = policy.store.withId(signature.keyId);
    if (keys.empty())
        return refused(path + " is signed by a key that is not trusted here: " +
                       keyIdText(signature.keyId));
    SignatureCheck best = SignatureCheck::kFileChanged;
    const TrustedKey* signer = nullptr;
    for (const TrustedKey* key : keys) {
        const SignatureCheck check = checkSignature(signature, key->key, bytes);
        if (check == SignatureCheck::kHolds || signer == nullptr) {
            best = check;
            signer = key;
        }
        if (check == SignatureCheck::kHolds)
            break;
    }
    if (best == SignatureCheck::kCommentChanged)
        return refused("The trusted comment of " + signatureFile +
                       " was changed after it was signed.");
    if (best == SignatureCheck::kFileChanged) {
        // A signature that holds for its own trusted comment but not for these bytes, and that
        // names another file, is that file's signature put beside this one.
        const std::string signedName = signedFileName(signature.trustedComment);
        if (!signedName.empty() && signedName != fileNameOf(path) &&
            trustedCommentHolds(signature, signer->key))
            return refused(path + " carries the signature of another file: " + signedName);
        return refused(path + " was changed after it was signed.");
    }
    return {TrustOutcome::kSigned, "Signed by " + signer->name + " (key " +
                                       keyIdText(signer->key.id) + "): " +
                                       signature.trustedComment};
}

}  // namespace files
