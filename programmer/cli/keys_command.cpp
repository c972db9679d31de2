#include "programmer/cli/keys_command.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "platform/terminal.h"
#include "programmer/cli/signing_options.h"
#include "programmer/files/file_io.h"
#include "programmer/files/new_file.h"

namespace cli {

namespace {

struct KeygenOptions {
    std::string name;
    bool noPassphrase = false;
    PassphraseSource passphrase;
};

// The new key's passphrase: one line from the descriptor, or asked twice on the terminal.
bool askNewPassphrase(const KeygenOptions& options, std::string& passphrase) {
    if (options.passphrase.fd >= 0) {
        if (!platform::readLineFromDescriptor(options.passphrase.fd, passphrase)) {
            std::cerr << "No passphrase could be read from descriptor " << options.passphrase.fd
                      << ".\n";
            return false;
        }
    } else {
        std::string again;
        if (!platform::readHiddenLine("Passphrase for " + options.name + ".key: ", passphrase) ||
            !platform::readHiddenLine("The same passphrase again: ", again)) {
            std::cerr << "No passphrase could be read: run on a terminal, give --passphrase-fd N, "
                         "or --no-passphrase for a key without one.\n";
            return false;
        }
        if (again != passphrase) {
            std::cerr << "The passphrases differ; no key was made.\n";
            return false;
        }
    }
    if (passphrase.empty()) {
        std::cerr << "The passphrase is empty; give --no-passphrase for a key without one.\n";
        return false;
    }
    return true;
}

int keygen(const KeygenOptions& options) {
    const std::string secretFile = options.name + ".key";
    const std::string publicFile = options.name + ".pub";
    for (const std::string& file : {secretFile, publicFile}) {
        std::error_code ignored;
        if (std::filesystem::exists(std::filesystem::symlink_status(file, ignored))) {
            std::cerr << "No key was made: " << file << " exists already.\n";
            return kExitFailed;
        }
    }
    std::string passphrase;
    if (!options.noPassphrase && !askNewPassphrase(options, passphrase))
        return kExitFailed;

    // The name a technician's machine shows as the signer: the key's name without its folder.
    const size_t separator = options.name.find_last_of("/\\");
    const std::string signer =
        separator == std::string::npos ? options.name : options.name.substr(separator + 1);
    files::SecretKey key;
    std::string secretText;
    std::string publicText;
    if (!files::generateKeys(passphrase, files::kKdfSensitive, signer, key, secretText,
                             publicText)) {
        std::cerr << "No key was made: the cryptography library failed.\n";
        return kExitFailed;
    }
    int error = files::writeNewFile(
        secretFile, std::vector<uint8_t>(secretText.begin(), secretText.end()), true);
    if (error == 0) {
        error = files::writeNewFile(
            publicFile, std::vector<uint8_t>(publicText.begin(), publicText.end()), false);
        if (error != 0)
            std::remove(secretFile.c_str());  // a secret key without its public half is no use
    }
    if (error == EEXIST) {
        std::cerr << "No key was made: " << secretFile << " or " << publicFile
                  << " exists already.\n";
        return kExitFailed;
    }
    if (error != 0) {
        std::cerr << "No key was made: " << secretFile << " and " << publicFile
                  << " could not be written (error " << error << ").\n";
        return kExitFailed;
    }
    std::cout << "Secret key written to " << secretFile << " (keep it private"
              << (options.noPassphrase ? ", it has no passphrase" : "") << ").\n"
              << "Public key written to " << publicFile << " (key " << files::keyIdText(key.id)
              << "): copy it into the trusted-keys folder of the machines that check your "
                 "files.\n";
    return kExitOk;
}

struct SignCommandOptions {
    std::string file;
    std::string keyFile;
    bool yes = false;
    PassphraseSource passphrase;
};

int signFile(const SignCommandOptions& options) {
    std::vector<uint8_t> bytes;
    if (const int error = files::readWholeFile(options.file, bytes)) {
        std::cerr << files::cantOpenFileMessage(options.file, error);
        return kExitFailed;
    }
    if (!signatureMayBeWritten(options.file, options.yes, std::cerr))
        return kExitFailed;
    files::SecretKey key;
    if (!openSecretKeyFile(options.keyFile, options.passphrase, key, std::cerr))
        return kExitFailed;
    return writeSignatureFor(options.file, key, options.yes, std::cout, std::cerr) ? kExitOk
                                                                                   : kExitFailed;
}

}  // namespace

Subcommand addKeygenCommand(CLI::App& app) {
    auto options = std::make_shared<KeygenOptions>();
    CLI::App* command = app.add_subcommand(
        "keygen", "make a key pair for signing update files: NAME.key (secret) and NAME.pub");
    command->add_option("NAME", options->name, "the key's name, also the files' names")
        ->required();
    command->add_flag("--no-passphrase", options->noPassphrase,
                      "leave the secret key without a passphrase");
    addPassphraseFdOption(*command, options->passphrase);
    command->get_option("--passphrase-fd")->excludes("--no-passphrase");
    return {command, [options] { return keygen(*options); }};
}

Subcommand addSignCommand(CLI::App& app) {
    auto options = std::make_shared<SignCommandOptions>();
    CLI::App* command =
        app.add_subcommand("sign", "sign an update file: writes FILE.minisig beside it");
    command->add_option("FILE", options->file, "the update file (.qup)")->required();
    command->add_option("--key", options->keyFile, "the secret key (NAME.key)")->required();
    command->add_flag("--yes", options->yes, "replace an existing signature file");
    addPassphraseFdOption(*command, options->passphrase);
    return {command, [options] { return signFile(*options); }};
}

}  // namespace cli
