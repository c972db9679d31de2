#pragma once
// What the commands share for signed update files: --require-signed on the commands that read
// an update file for a camera, --sign KEY on those that write one, and the judging of a file
// before any camera is touched.

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "programmer/files/signature.h"
#include "programmer/files/signing_policy.h"

namespace cli {

// --require-signed: refuse unsigned files even where the site's policy does not.
void addRequireSignedFlag(CLI::App& command, bool& requireSigned);

// The policy of this run (the site's, made stricter by `requireSigned`); its warnings (ignored
// key files, a doubtful policy file) are written to `err` once.
std::unique_ptr<files::SigningPolicy> loadPolicyFor(bool requireSigned, std::ostream& err);

// Judges the update file `path` whose bytes are `bytes` and writes the verdict's line to `err`
// ("Signed by ...", the "not signed" note, or the refusal). False when it is refused.
bool judgeUpdateFile(const std::string& path, const std::vector<uint8_t>& bytes,
                     const files::SigningPolicy& policy, std::ostream& err);
// The same after reading the file; an unreadable file is left to the command's own load.
bool judgeUpdateFile(const std::string& path, const files::SigningPolicy& policy,
                     std::ostream& err);

// Where a secret key's passphrase comes from: the terminal, or a descriptor a script opened.
struct PassphraseSource {
    int fd = -1;  // --passphrase-fd N; -1: the terminal
};
void addPassphraseFdOption(CLI::App& command, PassphraseSource& source);

// --sign KEY on a command that writes an update file.
struct SignOptions {
    std::string keyFile;
    PassphraseSource passphrase;
};
void addSignOptions(CLI::App& command, SignOptions& options);

// Reads the secret key file and opens it, asking for its passphrase when it has one. False with
// the reason written to `err`.
bool openSecretKeyFile(const std::string& keyFile, const PassphraseSource& source,
                       files::SecretKey& key, std::ostream& err);

// Before a command writes `path` and signs it: the signature file may be written (it does not
// exist, or `replace`). False with the reason written to `err`.
bool signatureMayBeWritten(const std::string& path, bool replace, std::ostream& err);

// Signs the file `path` as it is on disk and writes PATH.minisig, over an existing signature
// only when `replace`. False with the reason written to `err`.
bool writeSignatureFor(const std::string& path, const files::SecretKey& key, bool replace,
                       std::ostream& out, std::ostream& err);

// Runs `write`, a command that writes the update file `path`, and with --sign signs the file it
// wrote. The key is opened and the signature's place checked first, so that a wrong passphrase
// stops the command before anything is read or written. The command's exit status.
int writeThenSign(const SignOptions& sign, const std::string& path, bool replace, bool json,
                  const std::function<int()>& write);

}  // namespace cli
