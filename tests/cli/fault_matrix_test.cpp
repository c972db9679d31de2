// Every camera fault against every device, in normal and emergency mode: kelvoflash-cli program
// against its own camsim per cell, cells in parallel processes. Each cell checks the exit status,
// the device's row in the summary, the message, what the camera's flash holds afterwards, and
// that no device counts as programmed or verified unless the flash holds the image.

#include <array>
#include <atomic>
#include <functional>
#include <nlohmann/json.hpp>
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
const char* holdsName(Holds h) {
    return h == Holds::Image ? "image" : h == Holds::Before ? "before" : "other";
}

const tools::SampleSettings kSample{1, 1, 4, {true, true, true, true, true}, 2048, 6144, 6144};

struct Cell {
    int status = -1;
    std::string result, error;  // the summary's "result" and "error" of the device
    bool verified = false, incomplete = false;
    Holds holds = Holds::Other;
    std::string err;
};

// The documented end of a cell.
struct End {
    int status;
    const char* result;  // "updated", "failed", "not programmed", "unconfirmed"
    const char* error;   // the device's error code
    Holds holds;
    std::string messages;  // every message of the run but the confirmation, " | " between lines
    bool incomplete;
};
struct Context {
    int row;
    bool emergency;
    // The block write after which mid-device faults strike: the second, or the PLL's only one.
    std::string midBlock() const { return row == 3 ? "0" : "1"; }
    std::string dev() const { return std::to_string(row); }
    std::string writeCode() const { return row == 2 ? "1703" : "1103"; }
    bool readsBack() const { return !emergency && (row == 0 || row == 1 || row == 4); }
};

struct FaultRow {
    const char* name;
    std::function<std::vector<std::string>(const Context&)> faults;
    std::function<End(const Context&)> end;
    int impossibleRow = -1;  // the device this fault cannot strike
};

Holds comparedWith(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& before,
                   const tools::SampleImage& image) {
    const size_t start = image.startOffset, end = start + image.data.size();
    auto region = [&](const std::vector<uint8_t>& bytes, size_t i) {
        return i < bytes.size() ? bytes[i] : uint8_t(0xFF);  // a missing file is erased
    };
    bool isImage = true, isBefore = true;
    for (size_t i = start; i < end; ++i) {
        isImage = isImage && region(flash, i) == image.data[i - start];
        isBefore = isBefore && region(flash, i) == region(before, i);
    }
    return isImage ? Holds::Image : isBefore ? Holds::Before : Holds::Other;
}

// The messages of a run without the confirmation it answered, one line.
std::string messagesOf(const std::string& err) {
    std::string out;
    for (size_t begin = 0; begin < err.size();) {
        const size_t end = std::min(err.find('\n', begin), err.size());
        const std::string line = err.substr(begin, end - begin);
        begin = end + 1;
        if (line.empty() || contains(line, "[answered Yes by --yes]")) continue;
        out += (out.empty() ? "" : " | ") + line;
    }
    return out;
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

    Cell run(const Context& c, const std::vector<std::string>& faults) const {
        Cell cell;
        tools::TempFolder cellState;
        std::vector<std::string> options = quickCamera(cellState.path()), devices =
                                                                             everyDeviceAt(4, "1.00");
        options.insert(options.end(), devices.begin(), devices.end());
        for (const std::string& fault : faults) options.insert(options.end(), {"--fault", fault});
        tools::CamsimProcess camsim;
        if (!camsim.start(camsimBinary, options)) return cell;
        const clitest::CliRun run = clitest::runCli(
            std::string("program --yes --json ") + (c.emergency ? "--emergency " : "") +
            "--devices " + kDeviceNames[c.row] + " " + work.path("new.qup") + " --port " +
            camsim.portPath());
        camsim.stop();
        cell.status = run.status;
        cell.err = run.err;
        for (size_t begin = 0; begin < run.out.size();) {
            const size_t end = std::min(run.out.find('\n', begin), run.out.size());
            const json line = json::parse(run.out.substr(begin, end - begin), nullptr, false);
            begin = end + 1;
            if (line.is_discarded() || line.value("event", "") != "summary" ||
                line["devices"].empty())
                continue;
            const json& device = line["devices"][0];
            cell.result = device["result"].get<std::string>();
            cell.error = device["error"].get<std::string>();
            cell.verified = device["verified"].get<bool>();
            cell.incomplete = device["incomplete"].get<bool>();
        }
        cell.holds = comparedWith(savedFlash(cellState, c.row), before[size_t(c.row)],
                                  image[size_t(c.row)]);
        return cell;
    }

    std::array<std::vector<uint8_t>, kDevices> before;
    std::array<tools::SampleImage, kDevices> image;
};


using Faults = std::vector<std::string>;

const std::string kContact = " | www.qel-ag.example  support@qel-ag.example  +41 44 000 00 00";
const std::string kNotCompatible =
    "Camera firmware/hardware is not compatible! | Please contact QEL AG!" + kContact;
const std::string kProgrammingFailed = "Programming failed! | Please contact QEL AG!" + kContact;
const std::string kCannotClose = "Cannot close device! Programmer quits update!";

End failed(const char* error, Holds holds, const std::string& messages = "") {
    return {1, "failed", error, holds, messages, true};
}
End updated() { return {0, "updated", "0x00000000", Holds::Image, "", false}; }
// A Main uP whose block loop failed: the camera's own sum check decides, and after the reboot the
// camera reports no Main uP version any more.
End mainUpSumFailed() { return failed("0x80001060", Holds::Other, kNotCompatible); }
// A reply that could not be taken for the write's: the written block may be in the flash.
End replyRefused(const Context& c, const char* error) {
    if (c.row == 0) return mainUpSumFailed();
    // The PLL's only block was written; the EEPROM was not erased, so it holds a mix.
    return failed(error, c.row == 3 ? Holds::Image : Holds::Other);
}
// The write was not carried out: an EEPROM (not erased) still holds what it held.
End writeNotCarriedOut(const Context& c, const char* error) {
    if (c.row == 0) return mainUpSumFailed();
    return failed(error, c.row == 2 ? Holds::Before : Holds::Other);
}

const std::vector<FaultRow>& faultRows() {
    static const std::vector<FaultRow> rows = {
        {"no reply", [](const Context& c) { return Faults{"no-reply:" + c.writeCode() + ":1"}; },
         [](const Context& c) { return writeNotCarriedOut(c, "0xA00B2005"); }},
        {"wrong reply code", [](const Context& c) { return Faults{"wrong-code:" + c.writeCode()}; },
         [](const Context& c) { return replyRefused(c, "0x800B200C"); }},
        {"bad checksum", [](const Context& c) { return Faults{"bad-checksum:" + c.writeCode()}; },
         [](const Context& c) { return replyRefused(c, "0x800B2008"); }},
        {"error reply",
         [](const Context& c) { return Faults{"error:" + c.writeCode() + ":80001099"}; },
         [](const Context& c) { return writeNotCarriedOut(c, "0x80001099"); }},
        // The reply whose fields the run reads: the read-back, the Main uP's sum, else the write
        // (whose reply has no field the run reads).
        {"short reply",
         [](const Context& c) {
             const std::string code = c.readsBack() ? "1403" : c.row == 0 ? "1c03" : c.writeCode();
             return Faults{"short-reply:" + code};
         },
         [](const Context& c) {
             if (c.row == 0)
                 return c.emergency ? failed("0x800B200E", Holds::Image) : mainUpSumFailed();
             return c.readsBack() ? failed("0x800B200E", Holds::Other) : updated();
         }},
        // Far more debug text than a transaction skips: the reply is never reached.
        {"debug-text flood", [](const Context& c) { return Faults{"debug-flood:" + c.writeCode()}; },
         [](const Context& c) { return replyRefused(c, "0x800B2008"); }},
        {"write refused",
         [](const Context& c) { return Faults{"write-fail:" + c.dev() + ":" + c.midBlock()}; },
         [](const Context& c) {
             return c.row == 0 ? mainUpSumFailed() : failed("0x80001062", Holds::Other);
         }},
        // Only reads are falsified: a device written without read-back is right.
        {"read-back mismatch", [](const Context& c) { return Faults{"readback-mismatch:" + c.dev()}; },
         [](const Context& c) {
             if (!c.readsBack()) return updated();
             return c.row == 0 ? mainUpSumFailed() : failed("0x80003011", Holds::Other);
         }},
        {"erase refused", [](const Context& c) { return Faults{"erase-fail:" + c.dev()}; },
         [](const Context&) {
             return failed("0x80001061", Holds::Before,
                           "Error Erase Flash! | Please contact QEL AG!" + kContact + " | " +
                               kProgrammingFailed);
         },
         2},  // the EEPROM is written without an erase
        // The Head FPGA is the last device: its open failing ends the run without a message.
        {"open refused", [](const Context& c) { return Faults{"open-fail:" + c.dev()}; },
         [](const Context& c) {
             if (c.row == 4) return End{1, "not programmed", "0x80001056", Holds::Before, "", false};
             return End{1, "failed", "0x80001056", Holds::Before,
                        "Error Open Device! | Please contact QEL AG!" + kContact + " | " +
                            kProgrammingFailed,
                        false};
         }},
        // Written completely, but the camera may not have stored it: programmed again.
        {"close refused", [](const Context& c) { return Faults{"close-fail:" + c.dev()}; },
         [](const Context&) { return failed("0x80001064", Holds::Image, kCannotClose); }},
        {"camera silent mid-device",
         [](const Context& c) { return Faults{"silent:" + c.dev() + ":" + c.midBlock()}; },
         [](const Context&) { return failed("0xA00B2005", Holds::Other, kCannotClose); }},
        // The camera comes back in boot mode: the Main uP's sum check finds no device open.
        {"power loss mid-device",
         [](const Context& c) { return Faults{"power-loss:" + c.dev() + ":" + c.midBlock()}; },
         [](const Context& c) {
             return failed(c.row == 0 ? "0x80001053" : "0xA00B2005", Holds::Other, kCannotClose);
         }},
        // Programmed, but no camera confirms the version: never "updated".
        {"no return after reboot", [](const Context&) { return Faults{"no-answer-after-reboot"}; },
         [](const Context&) {
             return End{1, "unconfirmed", "0x00000000", Holds::Image, kProgrammingFailed, false};
         }},
        {"return in boot mode", [](const Context&) { return Faults{"boot-mode-after-reboot"}; },
         [](const Context&) {
             return End{1, "unconfirmed", "0x00000000", Holds::Image, "", false};
         }},
    };
    return rows;
}

TEST_F(FaultMatrix, NoCellEndsInAFalseSuccess) {
    struct Job {
        const FaultRow* row;
        Context context;
        Cell cell;
    };
    std::vector<Job> jobs;
    for (const FaultRow& row : faultRows())
        for (bool emergency : {false, true})
            for (int device = 0; device < kDevices; ++device)
                if (device != row.impossibleRow) jobs.push_back({&row, {device, emergency}, {}});

    // The cells wait for the camera most of the time: many at once.
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    const size_t parallel = std::min<size_t>(jobs.size(), 16);
    for (size_t w = 0; w < parallel; ++w)
        workers.emplace_back([&] {
            for (size_t i = next++; i < jobs.size(); i = next++)
                for (int attempt = 0; attempt < 3; ++attempt) {
                    jobs[i].cell = run(jobs[i].context, jobs[i].row->faults(jobs[i].context));
                    // A run that found no camera at all (a machine too busy to answer the
                    // connection in time) says nothing about the fault: it is run again.
                    if (!contains(jobs[i].cell.err, "Cannot connect camera")) break;
                }
        });
    for (std::thread& t : workers) t.join();

    for (const Job& job : jobs) {
        const Context& c = job.context;
        const Cell& cell = job.cell;
        const End end = job.row->end(c);
        const std::string where = std::string(job.row->name) + " / " + kDeviceNames[c.row] +
                                  (c.emergency ? " / emergency" : " / normal");
        // Never a false success: a device counts as written only when the flash holds it.
        const bool claimsWritten = cell.result == "updated" || cell.result == "unverified" ||
                                   cell.result == "unconfirmed" || cell.verified;
        EXPECT_TRUE(!claimsWritten || cell.holds == Holds::Image) << where << "\n" << cell.err;
        EXPECT_TRUE(cell.status != 0 || cell.holds == Holds::Image) << where;
        EXPECT_EQ(cell.status, end.status) << where << "\n" << cell.err;
        EXPECT_EQ(cell.result, end.result) << where;
        EXPECT_EQ(cell.error, end.error) << where;
        EXPECT_EQ(cell.incomplete, end.incomplete) << where;
        // Verified only where every block was read back or the camera checked the sum.
        const bool programmed = cell.result == "updated" || cell.result == "unconfirmed";
        EXPECT_EQ(cell.verified, programmed && (c.row == 0 || c.readsBack())) << where;
        EXPECT_EQ(holdsName(cell.holds), std::string(holdsName(end.holds))) << where;
        EXPECT_EQ(messagesOf(cell.err), end.messages) << where;
    }
}

}  // namespace
