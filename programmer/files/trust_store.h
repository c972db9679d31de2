#pragma once
// The public keys a machine trusts: files NAME.pub in the trusted-keys folders.

#include <string>
#include <vector>

#include "programmer/files/signature.h"

namespace files {

struct TrustedKey {
    PublicKey key;
    // Who the key stands for: the key file's untrusted comment, or the file's name without
    // ".pub" when the comment is the signing tool's default.
    std::string name;
    std::string file;
};

struct TrustStore {
    std::vector<TrustedKey> keys;
    // One line per key file that was ignored, naming it and why.
    std::vector<std::string> warnings;

    // The keys with this id (normally one).
    std::vector<const TrustedKey*> withId(const KeyId& id) const;
};

// Reads every *.pub file of the folders, in name order; a missing folder holds no key. A key
// file that other users may change, or that does not parse, is left out with a warning.
TrustStore loadTrustStore(const std::vector<std::string>& folders);

}  // namespace files
