// Every camera fault against every device, in normal and emergency mode: kelvoflash-cli program
// against its own camsim per cell, cells in parallel processes. Each cell checks the exit status,
// the device's row in the summary, the message, what the camera's flash holds afterwards, and
// that no device counts as programmed or verified unless the flash holds the image.

#include <array>
#include <atomic>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "camsim_fixture.h"
#include "cli_run.h"

namespace {

using clitest::contains;
using nlohmann::json;

constexpr int kDevices = 5;
const char* const kDeviceNames[kDevices] = {"main-up", "main-fpga", "eeprom", "pll", "head-fpga"};

// What the camera's flash holds where the device's image goes, after the run.
enum class Holds { Image, Before, Other };

const tools::SampleSettings kSample{1, 1, 4, {true, true, true, true, true}, 2048, 6144, 6144};

struct Cell {
    int status = -1;
    std::string result, error;  // the summary's "result" and "error" of the device
    bool verified = false, incomplete = false;
    Holds holds = Holds::Other;
    std::string messages{};  // every message of the run but the confirmation, " | " between lines
};

// A cell's end in one line, to compare with the documented one.
std::string endOf(int status, const std::string& result, const std::string& error, bool incomplete,
                  Holds holds, const std::string& messages) {
    return "exit " + std::to_string(status) + ", " + result + " " + error +
           (incomplete ? ", incomplete" : "") + ", flash " +
           (holds == Holds::Image ? "image" : holds == Holds::Before ? "before" : "other") +
           ", messages: " + messages;
}

struct Context {
    int row;
    bool emergency;
    bool readsBack() const { return !emergency && (row == 0 || row == 1 || row == 4); }
    // The fault with {dev} the device, {write} its write command, {mid} the block write after
    // which mid-device faults strike (the second, or the PLL's only one) and {fields} the reply
    // whose fields the run reads: the read-back, the Main uP's sum, else the write.
    std::string fault(std::string text) const {
        const std::string write = row == 2 ? "1703" : "1103";
        const std::string fields = readsBack() ? "1403" : row == 0 ? "1c03" : write;
        for (const auto& [name, value] : {std::pair<std::string, std::string>{"{write}", write},
                                          {"{dev}", std::to_string(row)},
                                          {"{mid}", row == 3 ? "0" : "1"},
                                          {"{fields}", fields}})
            if (const size_t at = text.find(name); at != std::string::npos)
                text.replace(at, name.size(), value);
        return text;
    }
};

struct FaultRow {
    const char* name;
    const char* fault;
    std::function<std::string(const Context&)> end;
    int impossibleRow = -1;  // the device this fault cannot strike
};

Holds comparedWith(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& before,
                   const tools::SampleImage& image) {
    auto at = [](const std::vector<uint8_t>& bytes, size_t i) {
        return i < bytes.size() ? bytes[i] : uint8_t(0xFF);  // a missing file is erased
    };
    bool isImage = true, isBefore = true;
    for (size_t i = 0; i < image.data.size(); ++i) {
        isImage = isImage && at(flash, image.startOffset + i) == image.data[i];
        const uint8_t held = at(flash, image.startOffset + i);
        isBefore = isBefore && held == at(before, image.startOffset + i);
    }
    return isImage ? Holds::Image : isBefore ? Holds::Before : Holds::Other;
}

class FaultMatrix : public testsupport::CamsimFixture {
protected:
    void SetUp() override {
        CamsimFixture::SetUp();
        if (IsSkipped()) return;
        std::vector<uint8_t> bytes;
        ASSERT_EQ(tools::buildSampleUpdateFile(kSample, bytes), 0u);
        ASSERT_EQ(files::writeFileSafely(work.path("new.qup"), bytes), 0);
        // The flash before any run: what a camera started with these options saves at its end.
        startCamsim(everyDeviceAt(4, "1.00"));
        camsim.stop();
        for (int row = 0; row < kDevices; ++row) {
            before[size_t(row)] = flash(row);
            image[size_t(row)] = tools::sampleImage(kSample, row);
        }
    }

    Cell run(const Context& c, const std::string& fault) const {
        Cell cell;
        tools::TempFolder cellState;
        std::vector<std::string> options = quickCamera(cellState.path()),
                                 devices = everyDeviceAt(4, "1.00");
        options.insert(options.end(), devices.begin(), devices.end());
        options.insert(options.end(), {"--fault", fault});
        tools::CamsimProcess camsim;
        if (!camsim.start(camsimBinary, options)) return cell;
        const clitest::CliRun run = clitest::runCli(
            std::string("program --yes --json ") + (c.emergency ? "--emergency " : "") +
            "--devices " + kDeviceNames[c.row] + " " + work.path("new.qup") + " --port " +
            camsim.portPath());
        camsim.stop();
        cell.status = run.status;
        std::istringstream out(run.out), err(run.err);
        for (std::string text; std::getline(out, text);)
            if (const json line = json::parse(text, nullptr, false); !line.is_discarded() &&
                line.value("event", "") == "summary" && !line["devices"].empty()) {
                const json& d = line["devices"][0];
                cell = {run.status, d["result"], d["error"], d["verified"], d["incomplete"]};
            }
        for (std::string line; std::getline(err, line);)
            // The file's not-signed note comes before every run; the signing tests check it.
            if (!line.empty() && !contains(line, "[answered Yes by --yes]") &&
                !contains(line, " is not signed."))
                cell.messages += (cell.messages.empty() ? "" : " | ") + line;
        cell.holds = comparedWith(savedFlash(cellState, c.row), before[size_t(c.row)],
                                  image[size_t(c.row)]);
        return cell;
    }

    std::array<std::vector<uint8_t>, kDevices> before;
    std::array<tools::SampleImage, kDevices> image;
};

const std::string kContact = " | www.qel-ag.example  support@qel-ag.example  +41 44 000 00 00";
const std::string kNotCompatible =
    "Camera firmware/hardware is not compatible! | Please contact QEL AG!" + kContact;
const std::string kProgrammingFailed = "Programming failed! | Please contact QEL AG!" + kContact;
const std::string kCannotClose = "Cannot close device! Programmer quits update!";

std::string failed(const char* error, Holds holds, const std::string& messages = "") {
    return endOf(1, "failed", error, true, holds, messages);
}
const std::string kUpdated = endOf(0, "updated", "0x00000000", false, Holds::Image, "");
// A Main uP whose block loop failed: the camera's own sum check decides, and after the reboot the
// camera reports no Main uP version any more.
const std::string kMainUpSumFailed = failed("0x80001060", Holds::Other, kNotCompatible);
// A reply that could not be taken for the write's: the written block may be in the flash. The
// PLL's only block was written; the EEPROM was not erased, so it holds a mix.
std::string replyRefused(const Context& c, const char* error) {
    return c.row == 0 ? kMainUpSumFailed : failed(error, c.row == 3 ? Holds::Image : Holds::Other);
}
// The write was not carried out: an EEPROM (not erased) still holds what it held.
std::string writeNotCarriedOut(const Context& c, const char* error) {
    return c.row == 0 ? kMainUpSumFailed : failed(error, c.row == 2 ? Holds::Before : Holds::Other);
}

const FaultRow kFaultRows[] = {
    {"no reply", "no-reply:{write}:1",
     [](const Context& c) { return writeNotCarriedOut(c, "0xA00B2005"); }},
    {"wrong reply code", "wrong-code:{write}",
     [](const Context& c) { return replyRefused(c, "0x800B200C"); }},
    {"bad checksum", "bad-checksum:{write}",
     [](const Context& c) { return replyRefused(c, "0x800B2008"); }},
    {"error reply", "error:{write}:80001099",
     [](const Context& c) { return writeNotCarriedOut(c, "0x80001099"); }},
    // The write's reply has no field the run reads.
    {"short reply", "short-reply:{fields}",
     [](const Context& c) {
         if (c.row == 0) return c.emergency ? failed("0x800B200E", Holds::Image) : kMainUpSumFailed;
         return c.readsBack() ? failed("0x800B200E", Holds::Other) : kUpdated;
     }},
    // Far more debug text than a transaction skips: the reply is never reached.
    {"debug-text flood", "debug-flood:{write}",
     [](const Context& c) { return replyRefused(c, "0x800B2008"); }},
    {"write refused", "write-fail:{dev}:{mid}",
     [](const Context& c) {
         return c.row == 0 ? kMainUpSumFailed : failed("0x80001062", Holds::Other);
     }},
    // Only reads are falsified: a device written without read-back is right.
    {"read-back mismatch", "readback-mismatch:{dev}",
     [](const Context& c) {
         if (!c.readsBack()) return kUpdated;
         return c.row == 0 ? kMainUpSumFailed : failed("0x80003011", Holds::Other);
     }},
    {"erase refused", "erase-fail:{dev}",
     [](const Context&) {
         return failed("0x80001061", Holds::Before,
                       "Error Erase Flash! | Please contact QEL AG!" + kContact + " | " +
                           kProgrammingFailed);
     },
     2},  // the EEPROM is written without an erase
    // The Head FPGA is the last device: its open failing ends the run without a message.
    {"open refused", "open-fail:{dev}",
     [](const Context& c) {
         if (c.row == 4) return endOf(1, "not programmed", "0x80001056", false, Holds::Before, "");
         return endOf(1, "failed", "0x80001056", false, Holds::Before,
                      "Error Open Device! | Please contact QEL AG!" + kContact + " | " +
                          kProgrammingFailed);
     }},
    // Written completely, but the camera may not have stored it: programmed again.
    {"close refused", "close-fail:{dev}",
     [](const Context&) { return failed("0x80001064", Holds::Image, kCannotClose); }},
    {"camera silent mid-device", "silent:{dev}:{mid}",
     [](const Context&) { return failed("0xA00B2005", Holds::Other, kCannotClose); }},
    // The camera comes back in boot mode: the Main uP's sum check finds no device open.
    {"power loss mid-device", "power-loss:{dev}:{mid}",
     [](const Context& c) {
         return failed(c.row == 0 ? "0x80001053" : "0xA00B2005", Holds::Other, kCannotClose);
     }},
    // Programmed, but no camera confirms the version: never "updated".
    {"no return after reboot", "no-answer-after-reboot",
     [](const Context&) {
         return endOf(1, "unconfirmed", "0x00000000", false, Holds::Image, kProgrammingFailed);
     }},
    {"return in boot mode", "boot-mode-after-reboot",
     [](const Context&) { return endOf(1, "unconfirmed", "0x00000000", false, Holds::Image, ""); }},
};

TEST_F(FaultMatrix, NoCellEndsInAFalseSuccess) {
    struct Job {
        const FaultRow* row;
        Context context;
        Cell cell;
    };
    std::vector<Job> jobs;
    for (const FaultRow& row : kFaultRows)
        for (bool emergency : {false, true})
            for (int device = 0; device < kDevices; ++device)
                if (device != row.impossibleRow) jobs.push_back({&row, {device, emergency}, {}});

    // The cells wait for the camera most of the time: many at once.
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (size_t w = 0; w < std::min<size_t>(jobs.size(), 16); ++w)
        workers.emplace_back([&] {
            for (size_t i = next++; i < jobs.size(); i = next++)
                for (int attempt = 0; attempt < 3; ++attempt) {
                    jobs[i].cell = run(jobs[i].context, jobs[i].context.fault(jobs[i].row->fault));
                    // A run that found no camera at all (a machine too busy to answer the
                    // connection in time) says nothing about the fault: it is run again.
                    if (!contains(jobs[i].cell.messages, "Cannot connect camera")) break;
                }
        });
    for (std::thread& t : workers) t.join();

    for (const Job& job : jobs) {
        const Context& c = job.context;
        const Cell& cell = job.cell;
        SCOPED_TRACE(std::string(job.row->name) + " / " + kDeviceNames[c.row] +
                     (c.emergency ? " / emergency" : " / normal"));
        // Each documented end counts a device as written only when the flash holds it.
        EXPECT_EQ(endOf(cell.status, cell.result, cell.error, cell.incomplete, cell.holds,
                        cell.messages),
                  job.row->end(c));
        // Verified only where every block was read back or the camera checked the sum.
        const bool programmed = cell.result == "updated" || cell.result == "unconfirmed";
        EXPECT_EQ(cell.verified, programmed && (c.row == 0 || c.readsBack()));
    }
}

}  // namespace
