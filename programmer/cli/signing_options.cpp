#include "programmer/cli/signing_options.h"

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <system_error>

#include "platform/terminal.h"
#include "programmer/cli/subcommand.h"
#include "programmer/files/file_io.h"
#include "programmer/files/new_file.h"

namespace cli {

namespace {

constexpr uint64_t kKeyFileMaxSize = 4096;

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(std::filesystem::path(path), error).type() !=
           std::filesystem::file_type::not_found;
}

std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string withoutNewline(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

}  // namespace

void addRequireSignedFlag(CLI::App& command, bool& requireSigned) {
    command.add_flag("--require-signed", requireSigned,
                     "refuse an update file without a trusted signature (NAME.qup.minisig)");
}

std::unique_ptr<files::SigningPolicy> loadPolicyFor(bool requireSigned, std::ostream& err) {
    auto policy = std::make_unique<files::SigningPolicy>(files::loadSigningPolicy(requireSigned));
    for (const std::string& warning : policy->warnings)
        err << "Warning: " << warning << "\n";
    return policy;
}

bool judgeUpdateFile(const std::string& path, const std::vector<uint8_t>& bytes,
                     const files::SigningPolicy& policy, std::ostream& err) {
    const files::TrustVerdict verdict = files::checkUpdateFileTrust(path, bytes, policy);
    err << withoutNewline(verdict.message) << "\n" << std::flush;
    return verdict.outcome != files::TrustOutcome::kRefused;
}

bool judgeUpdateFile(const std::string& path, const files::SigningPolicy& policy,
                     std::ostream& err) {
    std::vector<uint8_t> bytes;
    if (files::readWholeFile(path, bytes) != 0)
        return true;
    return judgeUpdateFile(path, bytes, policy, err);
}

void addPassphraseFdOption(CLI::App& command, PassphraseSource& source) {
    command.add_option("--passphrase-fd", source.fd,
                       "read the secret key's passphrase from this open file descriptor "
                       "(one line) instead of the terminal")
        ->check(CLI::NonNegativeNumber);
}

void addSignOptions(CLI::App& command, SignOptions& options) {
    command.add_option("--sign", options.keyFile,
                       "sign the file written with this secret key (NAME.key): FILE.minisig");
    addPassphraseFdOption(command, options.passphrase);
}

bool openSecretKeyFile(const std::string& keyFile, const PassphraseSource& source,
                       files::SecretKey& key, std::ostream& err) {
    std::vector<uint8_t> bytes;
    if (const int error = files::readWholeFile(keyFile, bytes, kKeyFileMaxSize)) {
        err << withoutNewline(files::cantOpenFileMessage(keyFile, error)) << "\n";
        return false;
    }
    files::SecretKeyFile file;
    files::KeyFileError parsed = files::parseSecretKeyFile(std::string(bytes.begin(), bytes.end()),
                                                           file);
    if (parsed != files::KeyFileError::kNone) {
        err << "The secret key " << keyFile << " cannot be used: "
            << files::keyFileErrorText(parsed, "secret key") << ".\n";
        return false;
    }
    std::string passphrase;
    if (file.encrypted) {
        const bool read = source.fd >= 0
                              ? platform::readLineFromDescriptor(source.fd, passphrase)
                              : platform::readHiddenLine("Passphrase for " + keyFile + ": ",
                                                         passphrase);
        if (!read) {
            err << "The secret key " << keyFile
                << " has a passphrase, and none could be read: run on a terminal, or give "
                   "--passphrase-fd N.\n";
            return false;
        }
    }
    parsed = files::openSecretKey(file, passphrase, key);
    if (parsed != files::KeyFileError::kNone) {
        err << "The secret key " << keyFile << " cannot be used: "
            << files::keyFileErrorText(parsed, "secret key") << ".\n";
        return false;
    }
    return true;
}

bool signatureMayBeWritten(const std::string& path, bool replace, std::ostream& err) {
    const std::string signatureFile = files::signatureFileOf(path);
    if (replace || !exists(signatureFile))
        return true;
    err << signatureFile << " exists already; --yes replaces it.\n";
    return false;
}

bool writeSignatureFor(const std::string& path, const files::SecretKey& key, bool replace,
                       std::ostream& out, std::ostream& err) {
    std::vector<uint8_t> bytes;
    if (const int error = files::readWholeFile(path, bytes)) {
        err << withoutNewline(files::cantOpenFileMessage(path, error)) << "\n";
        return false;
    }
    // The same trusted comment the signing tool writes: when, which file, and the hashed form.
    const std::string comment = "timestamp:" + std::to_string(std::time(nullptr)) +
                                "\tfile:" + fileNameOf(path) + "\thashed";
    files::Signature signature;
    if (!files::signBytes(key, bytes, comment, signature)) {
        err << "The file " << path << " could not be signed: the cryptography library failed.\n";
        return false;
    }
    const std::string text =
        files::formatSignature(signature, "signature from kelvoflash secret key " +
                                              files::keyIdText(key.id));
    const std::vector<uint8_t> textBytes(text.begin(), text.end());
    const std::string signatureFile = files::signatureFileOf(path);
    const int error = replace ? files::writeFileSafely(signatureFile, textBytes)
                              : files::writeNewFile(signatureFile, textBytes, false);
    if (error == EEXIST) {
        err << signatureFile << " exists already; --yes replaces it.\n";
        return false;
    }
    if (error != 0) {
        err << "The signature " << signatureFile << " could not be written (error " << error
            << ").\n";
        return false;
    }
    out << "Signature written to " << signatureFile << " (key " << files::keyIdText(key.id)
        << ").\n";
    return true;
}

int writeThenSign(const SignOptions& sign, const std::string& path, bool replace, bool json,
                  const std::function<int()>& write) {
    const bool signing = !sign.keyFile.empty();
    files::SecretKey key;
    if (signing && (!signatureMayBeWritten(path, replace, std::cerr) ||
                    !openSecretKeyFile(sign.keyFile, sign.passphrase, key, std::cerr)))
        return kExitFailed;
    const int status = write();
    if (status != kExitOk || !signing)
        return status;
    return writeSignatureFor(path, key, replace, json ? std::cerr : std::cout, std::cerr)
               ? kExitOk
               : kExitFailed;
}

}  // namespace cli
