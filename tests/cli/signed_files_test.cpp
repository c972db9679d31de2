// Signed update files on the console against camsim: a file signed with the real `minisign`
// programs the camera and says who signed it; every file whose signature does not hold, or an
// unsigned one where signatures are required, is refused with its cause and status 1 before the
// camera is touched (nothing on standard output, where a connection would report, and the
// devices keep their versions). Keys and signatures made here hold for `minisign -V`.

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "camsim_fixture.h"
#include "cli_run.h"
#include "programmer/files/base64.h"
#include "programmer/files/signature.h"

namespace {

namespace fs = std::filesystem;
using clitest::contains;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
int shell(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
// The key id a minisign public key file names in its comment, in our 16 digits (minisign leaves
// out leading zeros there).
std::string keyIdOf(const std::string& pub) {
    const std::string text = readText(pub);
    const std::string marker = "minisign public key ";
    const size_t start = text.find(marker) + marker.size();
    const std::string digits = text.substr(start, text.find('\n', start) - start);
    return std::string(16 - std::min<size_t>(16, digits.size()), '0') + digits;
}
void flipByte(const std::string& path, long at) {
    std::string text = readText(path);
    text[size_t(at < 0 ? long(text.size()) + at : at)] ^= 0x20;
    writeText(path, text);
}
// Replaces line `index` of the text file by what `change` makes of it.
template <typename Change>
void changeLine(const std::string& path, int index, Change change) {
    std::string text = readText(path);
    size_t start = 0;
    for (int i = 0; i < index; ++i)
        start = text.find('\n', start) + 1;
    const size_t end = text.find('\n', start);
    text = text.substr(0, start) + change(text.substr(start, end - start)) + text.substr(end);
    writeText(path, text);
}

// case.qup: a copy of new.qup and, when `withSignature`, of its signature.
void copyNew(const tools::TempFolder& work, bool withSignature = true) {
    fs::copy_file(work.path("new.qup"), work.path("case.qup"),
                  fs::copy_options::overwrite_existing);
    fs::remove(work.path("case.qup.minisig"));
    if (withSignature)
        fs::copy_file(work.path("new.qup.minisig"), work.path("case.qup.minisig"));
}

class SignedFiles : public testsupport::CamsimFixture {
protected:
    void SetUp() override {
        CamsimFixture::SetUp();
        if (IsSkipped())
            return;
        ASSERT_EQ(shell("minisign -v"), 0) << "minisign is missing (scripts/setup.sh)";
        for (const char* folder : {"site/trusted-keys", "user", "policy/trusted-keys",
                                   "loose/trusted-keys"})
            fs::create_directories(work.path(folder));
        ASSERT_EQ(shell("minisign -G -W -p " + work.path("maker.pub") + " -s " +
                        work.path("maker.key")), 0);
        ASSERT_EQ(shell("minisign -G -W -p " + work.path("stranger.pub") + " -s " +
                        work.path("stranger.key")), 0);
        for (const char* folder : {"site", "policy", "loose"})
            fs::copy_file(work.path("maker.pub"),
                          work.path(std::string(folder) + "/trusted-keys/maker.pub"));
        ::chmod(work.path("loose/trusted-keys/maker.pub").c_str(), 0666);
        writeText(work.path("policy/policy.conf"), "require-signed = true\n");
        writeSample("new.qup", 1, 1);
        writeSample("old.qup", 0, 9);
        ASSERT_EQ(shell("minisign -S -s " + work.path("maker.key") + " -m " + work.path("new.qup") +
                        " -t 'release 1.01'"), 0);
        ASSERT_EQ(shell("minisign -S -s " + work.path("maker.key") + " -m " +
                        work.path("old.qup")), 0);
        startCamsim(everyDeviceAt(4, "1.00"));
    }
    // The system folder `site` (the maker's key trusted) unless the case names another.
    std::string environment(const std::string& site = "site") const {
        return "KELVOFLASH_SYSTEM_CONFIG_DIR=" + work.path(site) +
               " XDG_CONFIG_HOME=" + work.path("user");
    }
    std::string expand(std::string text) const {
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"{case}", work.path("case.qup")},
              {"{port}", "--port " + camsim.portPath()},
              {"{maker}", keyIdOf(work.path("maker.pub"))},
              {"{stranger}", keyIdOf(work.path("stranger.pub"))},
              {"{dir}", work.path()}})
            for (size_t at; (at = text.find(name)) != std::string::npos;)
                text.replace(at, name.size(), value);
        return text;
    }
};

struct Refusal {
    const char* name;
    void (*prepare)(const tools::TempFolder&);
    std::string site;
    const char* command;
    std::string err;
};

TEST_F(SignedFiles, RefusesBeforeTheCameraIsTouched) {
    const std::string changed = "{case} was changed after it was signed.\n";
    const Refusal cases[] = {
        {"first byte changed", [](const tools::TempFolder& w) { copyNew(w); flipByte(w.path("case.qup"), 0); },
         "site", "program --yes", changed},
        {"middle byte changed",
         [](const tools::TempFolder& w) {
             copyNew(w);
             flipByte(w.path("case.qup"), long(fs::file_size(w.path("case.qup")) / 2));
         },
         "site", "program --yes", changed},
        {"last byte changed", [](const tools::TempFolder& w) { copyNew(w); flipByte(w.path("case.qup"), -1); },
         "site", "program --yes", changed},
        {"changed, verify", [](const tools::TempFolder& w) { copyNew(w); flipByte(w.path("case.qup"), -1); },
         "site", "verify", changed},
        {"signature of another file",
         [](const tools::TempFolder& w) {
             copyNew(w, false);
             fs::copy_file(w.path("old.qup.minisig"), w.path("case.qup.minisig"));
         },
         "site", "program --yes", "{case} carries the signature of another file: old.qup\n"},
        {"truncated signature",
         [](const tools::TempFolder& w) {
             copyNew(w);
             fs::resize_file(w.path("case.qup.minisig"), 104);
         },
         "site", "program --yes",
         "The signature {case}.minisig is damaged: the signature line is not valid base64.\n"},
        {"garbled base64",
         [](const tools::TempFolder& w) {
             copyNew(w);
             changeLine(w.path("case.qup.minisig"), 1,
                        [](std::string line) { return line.replace(10, 1, "*"); });
         },
         "site", "program --yes",
         "The signature {case}.minisig is damaged: the signature line is not valid base64.\n"},
        {"wrong algorithm tag",
         [](const tools::TempFolder& w) {
             copyNew(w);
             changeLine(w.path("case.qup.minisig"), 1, [](const std::string& line) {
                 std::vector<uint8_t> raw = *files::base64Decode(line);
                 raw[1] = 'X';
                 return files::base64Encode(raw);
             });
         },
         "site", "program --yes",
         "The signature {case}.minisig is damaged: the signature is of an unknown algorithm.\n"},
        {"trusted comment changed",
         [](const tools::TempFolder& w) {
             copyNew(w);
             changeLine(w.path("case.qup.minisig"), 2,
                        [](const std::string& line) { return line + " and 1.02"; });
         },
         "site", "program --yes",
         "The trusted comment of {case}.minisig was changed after it was signed.\n"},
        {"untrusted key",
         [](const tools::TempFolder& w) {
             copyNew(w, false);
             ASSERT_EQ(shell("minisign -S -s " + w.path("stranger.key") + " -m " +
                             w.path("case.qup")), 0);
         },
         "site", "program --yes",
         "{case} is signed by a key that is not trusted here: {stranger}\n"},
        {"key file writable by others", [](const tools::TempFolder& w) { copyNew(w); }, "loose",
         "program --yes",
         "Warning: Ignored the trusted key file {dir}/loose/trusted-keys/maker.pub: other users "
         "may change it.\n{case} is signed by a key that is not trusted here: {maker}\n"},
        {"site policy, unsigned", [](const tools::TempFolder& w) { copyNew(w, false); }, "policy",
         "program --yes",
         "{case} is not signed, and only signed update files are accepted here.\n"},
        {"--require-signed, unsigned", [](const tools::TempFolder& w) { copyNew(w, false); }, "site",
         "program --yes --require-signed",
         "{case} is not signed, and only signed update files are accepted here.\n"},
        {"inspect, unsigned", [](const tools::TempFolder& w) { copyNew(w, false); }, "policy", "inspect", ""},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare(work);
        const clitest::CliRun run = clitest::runCli(
            expand(c.command + std::string(" {case}") +
                   (std::string(c.command) == "inspect" ? "" : " {port}")),
            environment(c.site));
        EXPECT_EQ(run.status, 1);
        if (std::string(c.command) == "inspect") {
            EXPECT_TRUE(contains(run.out, expand("Verdict: refused: {case} is not signed, and "
                                                 "only signed update files are accepted here.\n")))
                << run.out;
            continue;
        }
        EXPECT_EQ(run.err, expand(c.err));
        EXPECT_EQ(run.out, "");  // no connection was made
    }
    // The camera was not written: it reports what it started with.
    const clitest::CliRun info = clitest::runCli(expand("info {port}"));
    EXPECT_TRUE(contains(info.out, "  PLL        004 V01.00\n")) << info.out;
    camsim.stop();
    for (int row = 0; row < 5; ++row)
        EXPECT_FALSE(flashHoldsNewImage(row)) << row;
}

// The file minisign signed programs the camera; an unsigned one still loads where nothing asks
// for signatures, with one note.
TEST_F(SignedFiles, SignedByMinisignProgramsAndSaysWhoSigned) {
    const clitest::CliRun run = clitest::runCli(
        expand("program --yes --devices pll {dir}/new.qup {port}"), environment());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.err, expand("Signed by maker (key {maker}): release 1.01\n")))
        << run.err;
    copyNew(work, false);
    const clitest::CliRun unsigned_ =
        clitest::runCli(expand("program --dry-run {case} {port}"), environment());
    EXPECT_EQ(unsigned_.status, 0);
    EXPECT_TRUE(contains(unsigned_.err, expand("{case} is not signed.\n"))) << unsigned_.err;
    camsim.stop();
    EXPECT_TRUE(flashHoldsNewImage(3));
}

// Keys made here: a backup signed with one holds for minisign and, once the key is trusted,
// passes --require-signed.
TEST_F(SignedFiles, KeysAndSignaturesMadeHereHoldForMinisign) {
    const std::string tech = work.path("tech");
    clitest::CliRun run = clitest::runCli("keygen " + tech + " --no-passphrase");
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat info {};
    ASSERT_EQ(::stat((tech + ".key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string before = readText(tech + ".key");
    run = clitest::runCli("keygen " + tech + " --no-passphrase");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "No key was made: " + tech + ".key exists already.\n");
    EXPECT_EQ(readText(tech + ".key"), before);

    run = clitest::runCli(expand("backup --sign " + tech + ".key {dir}/b.qup --devices pll {port}"),
                          environment());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(shell("minisign -V -p " + tech + ".pub -m " + work.path("b.qup")), 0);
    // A second signature is not written over the first without --yes.
    run = clitest::runCli(expand("sign {dir}/b.qup --key " + tech + ".key"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, expand("{dir}/b.qup.minisig exists already; --yes replaces it.\n"));
    run = clitest::runCli(expand("verify --require-signed {dir}/b.qup {port}"), environment());
    EXPECT_EQ(run.status, 1);
    fs::create_directories(work.path("user/kelvoflash/trusted-keys"));
    fs::copy_file(tech + ".pub", work.path("user/kelvoflash/trusted-keys/tech.pub"));
    run = clitest::runCli(expand("verify --require-signed {dir}/b.qup {port}"), environment());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "Signed by tech (key ")) << run.err;

    // A passphrase from a descriptor (the tool's own scrypt limits: a few seconds, once).
    writeText(work.path("right"), "secret words\n");
    writeText(work.path("wrong"), "wrong words\n");
    run = clitest::runCli("keygen " + work.path("sealed") + " --passphrase-fd 3 3<" +
                          work.path("right"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readText(work.path("sealed.key")).rfind("untrusted comment: minisign encrypted "
                                                      "secret key\n", 0), 0u);

    // A wrong passphrase opens nothing and writes nothing (a key sealed with quick limits).
    files::SecretKey key;
    std::string secretText, publicText;
    ASSERT_TRUE(files::generateKeys("secret words", files::kKdfInteractive, "quick", key,
                                    secretText, publicText));
    const std::string quick = work.path("quick");
    writeText(quick + ".key", secretText);
    writeText(quick + ".pub", publicText);
    run = clitest::runCli(expand("sign {dir}/new.qup --yes --key " + quick +
                                 ".key --passphrase-fd 3 3<{dir}/wrong"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "The secret key " + quick + ".key cannot be used: the passphrase is "
                       "wrong, or the secret key is damaged.\n");
    EXPECT_EQ(shell("minisign -V -p " + work.path("maker.pub") + " -m " + work.path("new.qup")), 0);
    run = clitest::runCli(expand("sign {dir}/new.qup --yes --key " + quick +
                                 ".key --passphrase-fd 3 3<{dir}/right"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(shell("minisign -V -p " + quick + ".pub -m " + work.path("new.qup")), 0);

    // pack --sign: a wrong passphrase stops it before the file is built; the right one signs it.
    writeText(work.path("pll_004_V01_02.jed"), "L0000 1\n");
    const std::string pack = "pack {dir}/packed.qup --pll {dir}/pll_004_V01_02.jed --sign " +
                             quick + ".key --passphrase-fd 3 3<{dir}/";
    run = clitest::runCli(expand(pack + "wrong"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "The secret key " + quick + ".key cannot be used: the passphrase is "
                       "wrong, or the secret key is damaged.\n");
    EXPECT_FALSE(fs::exists(work.path("packed.qup")));
    run = clitest::runCli(expand(pack + "right"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(shell("minisign -V -p " + quick + ".pub -m " + work.path("packed.qup")), 0);
}

}  // namespace
