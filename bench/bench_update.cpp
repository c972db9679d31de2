// bench_update: a full update of all five devices with realistic image sizes through ProgDlg and
// CComUpdate against camsim over a pty, once with camsim playing a 57600 baud 8N1 line in both
// directions and once unpaced. Prints the total time, the time in the reboot (with its polls) and
// erase waits, the wire-time lower bound of all bytes exchanged outside those waits, the ratio of
// the transfer time (everything but the waits) to that wire time, the programmer's CPU time over
// wall time and, unpaced, the block transactions per second.
//
//   bench_update [--camsim PATH] [--quick] [--paced-only | --unpaced-only]

#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/camera/com_update.h"
#include "protocol/commands.h"
#include "protocol/log_sink.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"

namespace {

using Clock = std::chrono::steady_clock;
using protocol::ErrorCode;
constexpr uint32_t kLineBaud = 57600;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// What crossed the line, counted per transaction.
struct Traffic {
    uint64_t commandBytes = 0;
    uint64_t replyBytes = 0;
    uint64_t transactions = 0;
    uint64_t blockTransactions = 0;
    bool counting = false;  // outside the reboot and erase waits of a run
};

bool isBlockCommand(uint16_t code) {
    namespace cmd = protocol::cmd;
    return code == cmd::WRITE_BLOCK || code == cmd::WRITE_EEPROM_BLOCK || code == cmd::READ_BLOCK;
}

class CountingComUpdate : public camera::CComUpdate {
public:
    CountingComUpdate(bool emergency, protocol::LogSink& log, Traffic& traffic)
        : CComUpdate(emergency, log, platform::realClock()), traffic_(traffic) {}
    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override {
        const ErrorCode result = CComUpdate::Command(command, size, reply, capacity, timeoutMs);
        if (traffic_.counting) {
            ++traffic_.transactions;
            traffic_.commandBytes += size;
            // Failed replies are left out, which keeps the wire time a lower bound.
            if (result == 0 && capacity >= 4)
                traffic_.replyBytes += protocol::readU16(reply + 2);
            if (isBlockCommand(protocol::readU16(command)))
                ++traffic_.blockTransactions;
        }
        return result;
    }

private:
    Traffic& traffic_;
};

class CountingFactory : public app::DefaultCameraFactory {
public:
    CountingFactory(protocol::LogSink& log, Traffic& traffic)
        : DefaultCameraFactory(log, platform::realClock()), log_(log), traffic_(traffic) {}
    std::unique_ptr<camera::CCamUpdate> makeCom(bool emergency) override {
        return std::make_unique<CountingComUpdate>(emergency, log_, traffic_);
    }

private:
    protocol::LogSink& log_;
    Traffic& traffic_;
};

bool isWait(app::RunPhase phase) {
    return phase == app::RunPhase::kReboot || phase == app::RunPhase::kErase;
}

// Times each step of the run; bytes are counted outside the waits.
class PhaseTimer : public app::ProgramRunObserver {
public:
    explicit PhaseTimer(Traffic& traffic) : traffic_(traffic) {}
    void phaseStarted(int, app::RunPhase phase) override {
        close();
        current_ = phase;
        started_ = Clock::now();
        cpuStarted_ = cpuSeconds();
        traffic_.counting = !isWait(phase);
    }
    void runFinished(bool result) override {
        close();
        current_.reset();
        succeeded = result;
    }
    Clock::duration in(app::RunPhase phase) const { return spent_[size_t(phase)]; }
    double cpuIn(app::RunPhase phase) const { return cpu_[size_t(phase)]; }
    bool succeeded = false;

private:
    void close() {
        if (current_) {
            spent_[size_t(*current_)] += Clock::now() - started_;
            cpu_[size_t(*current_)] += cpuSeconds() - cpuStarted_;
        }
        traffic_.counting = true;  // between steps the run talks to the camera, too
    }
    Traffic& traffic_;
    std::optional<app::RunPhase> current_;
    Clock::time_point started_;
    double cpuStarted_ = 0;
    std::array<Clock::duration, 5> spent_{};
    std::array<double, 5> cpu_{};
};

class BenchHost : public app::Host {
public:
    void messageBox(const std::string& text, const std::string&, app::BoxIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++boxes;
    }
    bool askYesNo(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "question (answered No): %s\n", text.c_str());
        return false;
    }
    std::optional<std::string> openFileDialog(const app::FileDialogRequest&) override {
        return file;
    }
    std::optional<std::string> saveFileDialog(const app::FileDialogRequest&) override { return {}; }
    void pumpMessages() override {}
    void repaintNow(const app::DialogModel&) override {}
    void modelChanged(const app::DialogModel&) override {}
    void post(std::function<void()>) override {}
    platform::Clock& clock() override { return platform::realClock(); }
    int runConnectionDialog(app::CMorvatDlg&) override { return 0; }
    int runMainDialog(app::ProgDlg&) override { return 0; }
    void showAboutBox(const std::string&, const std::string&) override {}

    std::string file;
    int boxes = 0;
};

bool runOnce(const std::string& camsimPath, const tools::SampleSettings& sample, uint32_t pace) {
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("kf_bench_update_" + std::to_string(getpid()) + "_" + std::to_string(pace));
    std::filesystem::create_directories(folder);
    std::vector<uint8_t> bytes;
    if (tools::buildSampleUpdateFile(sample, bytes) != 0)
        return false;
    const std::string file = (folder / "sample.qup").string();
    {
        FILE* out = std::fopen(file.c_str(), "wb");
        if (out == nullptr)
            return false;
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }

    std::vector<std::string> options{"--state", (folder / "state").string()};
    std::filesystem::create_directories(folder / "state");
    for (int row = 0; row < app::kRowCount; ++row)
        options.insert(options.end(), {"--firmware", std::to_string(row) + ":" +
                                                         std::to_string(sample.variant) + ":1.00"});
    if (pace != 0)
        options.insert(options.end(), {"--pace", std::to_string(pace)});

    bool ok = false;
    {
        tools::CamsimProcess camsim;
        if (!camsim.start(camsimPath, options)) {
            std::fprintf(stderr, "bench_update: cannot start %s\n", camsimPath.c_str());
            return false;
        }
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
        protocol::NullLogSink log;
        Traffic traffic;
        CountingFactory factory(log, traffic);
        BenchHost host;
        host.file = file;
        PhaseTimer timer(traffic);
        app::ProgDlg dialog(host, factory);
        dialog.runObserver = &timer;
        dialog.options.connectWithoutDialog = true;
        dialog.options.interfaceType = app::kInterfaceComPort;
        dialog.options.portNumber = 0;
        dialog.OnInitDialog();
        dialog.OnLoadFile();
        if (dialog.loaded.loadedFileName.empty()) {
            std::fprintf(stderr, "bench_update: the sample file was not accepted\n");
        } else {
            const double cpuBefore = cpuSeconds();
            const auto start = Clock::now();
            traffic.counting = true;
            dialog.OnProgram();
            traffic.counting = false;
            const double wall = seconds(Clock::now() - start);
            const double cpu = cpuSeconds() - cpuBefore;

            int programmed = 0;
            for (const auto& outcome : dialog.lastRun)
                programmed += outcome.result == app::DeviceResult::kProgrammed;
            using app::RunPhase;
            const double write = seconds(timer.in(RunPhase::kWrite));
            const double reboot = seconds(timer.in(RunPhase::kReboot));
            const double erase = seconds(timer.in(RunPhase::kErase));
            const double transfer = wall - reboot - erase;
            const double transferCpu =
                cpu - timer.cpuIn(RunPhase::kReboot) - timer.cpuIn(RunPhase::kErase);
            const uint64_t allBytes = traffic.commandBytes + traffic.replyBytes;

            std::printf("== %s ==\n",
                        pace ? "paced, camsim plays a 57600 baud 8N1 line both ways" : "unpaced");
            std::printf("devices programmed          %d of 5 (%s)\n", programmed,
                        timer.succeeded && host.boxes == 0 ? "run succeeded" : "run FAILED");
            std::printf("total time                  %8.2f s\n", wall);
            std::printf("  reboots incl. polls       %8.2f s  (wait)\n", reboot);
            std::printf("  erase                     %8.2f s  (wait)\n", erase);
            std::printf("  transfer, all but waits   %8.2f s\n", transfer);
            std::printf("    writing devices         %8.2f s\n", write);
            std::printf("    open, close, other      %8.2f s\n", transfer - write);
            std::printf(
                "bytes exchanged             %llu out, %llu back in %llu transactions, "
                "%llu of them block transactions\n",
                (unsigned long long)traffic.commandBytes, (unsigned long long)traffic.replyBytes,
                (unsigned long long)traffic.transactions,
                (unsigned long long)traffic.blockTransactions);
            if (pace != 0) {
                const double wire = double(allBytes) * 10.0 / kLineBaud;
                std::printf("wire time, all bytes        %8.2f s  (10 bits a byte at %u baud)\n",
                            wire, unsigned(kLineBaud));
                std::printf("ratio transfer / wire       %8.4f    (target <= 1.02)\n",
                            transfer / wire);
                if (traffic.transactions != 0)
                    std::printf("  beyond wire time          %8.0f us per transaction\n",
                                1e6 * (transfer - wire) / double(traffic.transactions));
            } else {
                std::printf("block transactions / s      %8.0f    (target >= 10000)\n",
                            double(traffic.blockTransactions) / write);
            }
            std::printf("programmer CPU / wall       %8.2f %%%s\n", 100.0 * cpu / wall,
                        pace ? "  (target <= 3 %)" : "");
            std::printf("  during transfer           %8.2f %%\n", 100.0 * transferCpu / transfer);
            ok = programmed == 5 && timer.succeeded;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string camsimPath = (std::filesystem::path(argv[0]).parent_path() / "camsim").string();
    tools::SampleSettings sample;
    sample.variant = 4;
    sample.versionMajor = 2;
    bool paced = true, unpaced = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--camsim" && i + 1 < argc)
            camsimPath = argv[++i];
        else if (arg == "--paced-only")
            unpaced = false;
        else if (arg == "--unpaced-only")
            paced = false;
        else if (arg == "--quick") {
            sample.mainFpgaBytes = 256 * 1024;
            sample.headFpgaBytes = 128 * 1024;
        } else {
            std::fprintf(
                stderr,
                "usage: bench_update [--camsim PATH] [--quick] [--paced-only | --unpaced-only]\n");
            return 2;
        }
    }
    std::printf(
        "images: Main uP %zu bytes (%zu of code), Main FPGA %zu, EEPROM %zu, PLL %zu, Head FPGA "
        "%zu\n",
        tools::sampleImage(sample, 0).data.size(), sample.mainUpCodeBytes, sample.mainFpgaBytes,
        tools::kEepromSize, tools::kPllSize, sample.headFpgaBytes);
    bool ok = true;
    if (unpaced)
        ok = runOnce(camsimPath, sample, 0) && ok;
    if (paced)
        ok = runOnce(camsimPath, sample, kLineBaud) && ok;
    return ok ? 0 : 1;
}
