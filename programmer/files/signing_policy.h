#pragma once
// Whether an update file may be loaded, judged by its signature file (NAME.qup.minisig), the
// trusted keys and the site's policy. Every flow that reads an update file for a camera asks
// here before it uses the bytes.

#include <string>
#include <vector>

#include "programmer/files/trust_store.h"

namespace files {

// The site's policy file (policy.conf): lines "require-signed = true|false", '#' comments.
// False with `problem` set when the text holds anything else.
bool parsePolicyText(const std::string& text, bool& requireSigned, std::string& problem);

struct SigningPolicy {
    TrustStore store;
    bool siteRequiresSigned = false;
    // The user's own --require-signed: it can only add to the site's policy.
    bool userRequiresSigned = false;
    // Key files ignored, a policy file that could not be trusted.
    std::vector<std::string> warnings;

    bool requireSigned() const { return siteRequiresSigned || userRequiresSigned; }
};

// Reads policy.conf of each site folder and the keys of the trusted-keys folders of all folders
// (an empty folder name is skipped). Signatures are required when any site folder asks for them;
// a policy file that cannot be read, does not parse, or that other users may change counts as
// requiring them, with a warning.
SigningPolicy loadSigningPolicy(const std::vector<std::string>& siteFolders,
                                const std::string& userFolder, bool userRequiresSigned);
SigningPolicy loadSigningPolicy(const std::string& systemFolder, const std::string& userFolder,
                                bool userRequiresSigned);
// The same from the platform's places: the installed site folder, a staged one beside it, and
// the user's.
SigningPolicy loadSigningPolicy(bool userRequiresSigned);

// The name of the signature file of `path`.
std::string signatureFileOf(const std::string& path);

enum class TrustOutcome { kSigned, kUnsigned, kRefused };
struct TrustVerdict {
    TrustOutcome outcome = TrustOutcome::kRefused;
    // kSigned: "Signed by NAME (key ID): TRUSTED COMMENT". kUnsigned: the note "PATH is not
    // signed". kRefused: why, in words, ending in "\n" like the other load messages.
    std::string message;
};

// Judges the update file `path` whose bytes are `bytes`.
TrustVerdict checkUpdateFileTrust(const std::string& path, const std::vector<uint8_t>& bytes,
                                  const SigningPolicy& policy);

}  // namespace files
