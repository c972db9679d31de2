// bench_update: how close the serial update comes to the wire time, and what it costs, in one run:
//  1. a raw ping-pong of the block telegrams' sizes over a pty (the floor for the unpaced case);
//  2. COM port, camsim unpaced: block writes with read-back through CComUpdate, transactions per
//     second against the raw ping-pong;
//  3. COM port, camsim playing a 57600 baud line: the same blocks, several runs, minimum and
//     median of the transfer/wire ratio, the programmer's and camsim's CPU per wall time and the
//     system calls per transaction of each side;
//  4. the full five-device update through ProgDlg over Camera Link (libtessiport.so and
//     libclsersim, camsim paced at the Camera Link rate of 115200), and with --full-com over the
//     COM port at 57600: total time, waits, transfer/wire ratio of everything but the waits.
//  5. with --cameras: several cameras in one kelvoflash-cli command, 1, 2 and 4 camsims paced at
//     57600 on COM ports and 2 boards over Camera Link at 115200: the wall time of N cameras
//     against one camera's in the same run (medians of --runs runs) and the CPU of the whole
//     command (parent and children) per camera and wall time.
// camsim checks its own pace (--pace-report) and prints it on stderr as it ends.
//
//   bench_update [--camsim PATH] [--runs N] [--blocks N] [--no-camlink] [--paced-only]
//                [--placement one-core|free|both] [--full-com] [--full-images] [--cameras]
//                [--cameras-only]
// --paced-only runs the paced block runs alone. The paced runs are made with the programmer and
// camsim on one core (the targets count there) and then with free placement (default both).

#include <fcntl.h>
#include <linux/perf_event.h>
#include <pty.h>
#include <sched.h>
#include <sys/resource.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/camera/cam_link_update.h"
#include "programmer/camera/com_update.h"
#include "programmer/camera/flash_device.h"
#include "protocol/commands.h"
#include "protocol/log_sink.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"

namespace {

using Clock = std::chrono::steady_clock;
using protocol::ErrorCode;
namespace fs = std::filesystem;
constexpr uint32_t kComBaud = 57600;
constexpr uint32_t kCamLinkBaud = 115200;
constexpr size_t kBlock = 256;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of a process (0: this one) in seconds, to the nanosecond.
double cpuSeconds(pid_t pid = 0) {
    clockid_t id = CLOCK_PROCESS_CPUTIME_ID;
    if (pid != 0 && clock_getcpuclockid(pid, &id) != 0) return 0;
    timespec t{};
    clock_gettime(id, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Counts the system calls a process makes while enabled, through the kernel's syscall
// tracepoint. Not available without the permission for it (then it counts nothing).
class SyscallCounter {
public:
    explicit SyscallCounter(pid_t pid) {
        std::ifstream idFile("/sys/kernel/tracing/events/raw_syscalls/sys_enter/id");
        uint64_t id = 0;
        if (!(idFile >> id)) return;
        perf_event_attr attr{};
        attr.size = sizeof attr;
        attr.type = PERF_TYPE_TRACEPOINT;
        attr.config = id;
        attr.disabled = 1;
        fd_ = int(syscall(SYS_perf_event_open, &attr, pid, -1, -1, 0));
    }
    ~SyscallCounter() {
        if (fd_ >= 0) close(fd_);
    }
    SyscallCounter(const SyscallCounter&) = delete;
    SyscallCounter& operator=(const SyscallCounter&) = delete;
    void start() {
        if (fd_ < 0) return;
        ioctl(fd_, PERF_EVENT_IOC_RESET, 0);
        resume();
    }
    void resume() {
        if (fd_ >= 0) ioctl(fd_, PERF_EVENT_IOC_ENABLE, 0);
    }
    void stop() {
        if (fd_ >= 0) ioctl(fd_, PERF_EVENT_IOC_DISABLE, 0);
    }
    std::optional<uint64_t> count() const {
        uint64_t value = 0;
        if (fd_ < 0 || read(fd_, &value, sizeof value) != ssize_t(sizeof value)) return {};
        return value;
    }

private:
    int fd_ = -1;
};

// What crossed the line, and its wire time at the rate in force for each transaction.
struct Traffic {
    uint64_t commandBytes = 0;
    uint64_t replyBytes = 0;
    uint64_t transactions = 0;
    uint64_t blockTransactions = 0;
    double wire = 0;         // seconds, 10 bits a byte
    uint32_t rate = kComBaud;
    bool counting = true;    // outside the reboot and erase waits of a full run

    void add(const uint8_t* command, uint32_t size, ErrorCode result, const uint8_t* reply,
             uint32_t capacity) {
        if (!counting) return;
        namespace cmd = protocol::cmd;
        const uint16_t code = protocol::readU16(command);
        ++transactions;
        commandBytes += size;
        // Failed replies are left out, which keeps the wire time a lower bound.
        const uint32_t back = result == 0 && capacity >= 4 ? protocol::readU16(reply + 2) : 0;
        replyBytes += back;
        wire += double(size + back) * 10.0 / rate;
        if (code == cmd::WRITE_BLOCK || code == cmd::WRITE_EEPROM_BLOCK || code == cmd::READ_BLOCK)
            ++blockTransactions;
    }
};

class CountingComUpdate : public camera::CComUpdate {
public:
    CountingComUpdate(protocol::LogSink& log, Traffic& traffic)
        : CComUpdate(false, log, platform::realClock()), traffic_(traffic) {}
    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override {
        const ErrorCode result = CComUpdate::Command(command, size, reply, capacity, timeoutMs);
        traffic_.add(command, size, result, reply, capacity);
        return result;
    }

private:
    Traffic& traffic_;
};

// Over Camera Link the rate changes during the run; the camera's answer after each change
// gives the rate of the transactions that follow.
class CountingCamLinkUpdate : public camera::CCamLinkUpdate {
public:
    explicit CountingCamLinkUpdate(Traffic& traffic)
        : CCamLinkUpdate(false), traffic_(traffic) {}
    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override {
        const ErrorCode result = CCamLinkUpdate::Command(command, size, reply, capacity, timeoutMs);
        traffic_.add(command, size, result, reply, capacity);
        return result;
    }
    ErrorCode Open(int board) override {
        const ErrorCode result = CCamLinkUpdate::Open(board);
        follow();
        return result;
    }
    ErrorCode SetBaudRate(uint32_t rate) override {
        const ErrorCode result = CCamLinkUpdate::SetBaudRate(rate);
        follow();
        return result;
    }

private:
    void follow() {
        if (linkBaudRate != 0) traffic_.rate = linkBaudRate;
    }
    Traffic& traffic_;
};

class CountingFactory : public app::DefaultCameraFactory {
public:
    CountingFactory(protocol::LogSink& log, Traffic& traffic)
        : DefaultCameraFactory(log, platform::realClock()), log_(log), traffic_(traffic) {}
    std::unique_ptr<camera::CCamUpdate> makeCom(bool) override {
        return std::make_unique<CountingComUpdate>(log_, traffic_);
    }
    std::unique_ptr<camera::CCamUpdate> makeCamLink(bool) override {
        return std::make_unique<CountingCamLinkUpdate>(traffic_);
    }

private:
    protocol::LogSink& log_;
    Traffic& traffic_;
};

// The camsim under test with its CPU clock and system call counter.
struct Camsim {
    bool start(const std::string& path, std::vector<std::string> options, const fs::path& folder) {
        fs::create_directories(folder / "state");
        options.insert(options.end(), {"--state", (folder / "state").string()});
        if (std::find(options.begin(), options.end(), "--pace") != options.end())
            options.push_back("--pace-report");
        if (!process.start(path, options)) {
            std::fprintf(stderr, "bench_update: cannot start %s\n", path.c_str());
            return false;
        }
        calls.emplace(process.pid());
        return true;
    }
    void stop() {
        std::fflush(stdout);
        process.stop();  // its pace check goes to stderr now
        std::fflush(stderr);
    }
    tools::CamsimProcess process;
    std::optional<SyscallCounter> calls;
};

fs::path scratchFolder(const std::string& name) {
    const fs::path folder =
        fs::temp_directory_path() / ("kf_bench_update_" + std::to_string(getpid()) + "_" + name);
    fs::create_directories(folder);
    return folder;
}

std::string perTransaction(std::optional<uint64_t> calls, uint64_t transactions) {
    if (!calls || transactions == 0) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(*calls) / double(transactions));
    return text;
}

// ---- 1. raw ping-pong ------------------------------------------------------------------------

bool readAll(int fd, uint8_t* buffer, size_t count) {
    for (size_t got = 0; got < count;) {
        const ssize_t n = read(fd, buffer + got, count - got);
        if (n <= 0) return false;
        got += size_t(n);
    }
    return true;
}

// Block write (269 bytes out, 13 back) and read-back (13 out, 269 back) with blocking reads and
// writes and nothing else, between two processes as the programmer and camsim are: the most
// their pty round trips allow. (Two threads of one process would switch more cheaply than the
// two processes ever can.)
double rawPingPong(int pairs) {
    termios raw{};
    cfmakeraw(&raw);
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) return 0;
    const pid_t camera = fork();
    if (camera < 0) return 0;
    if (camera == 0) {
        std::array<uint8_t, 512> buffer{};
        const std::vector<uint8_t> shortReply(13, 0x11), longReply(269, 0x22);
        for (int i = 0; i < 2 * pairs; ++i) {
            if (!readAll(master, buffer.data(), 4)) break;
            const size_t length = protocol::readU16(&buffer[2]);
            if (!readAll(master, buffer.data() + 4, length - 4)) break;
            const auto& reply = length == 269 ? shortReply : longReply;
            if (write(master, reply.data(), reply.size()) != ssize_t(reply.size())) break;
        }
        _exit(0);
    }
    std::vector<uint8_t> writeBlock(269, 0x33), readBlock(13, 0x44), reply(269);
    protocol::writeU16(&writeBlock[2], 269);
    protocol::writeU16(&readBlock[2], 13);
    const auto start = Clock::now();
    bool ok = true;
    for (int i = 0; i < pairs && ok; ++i) {
        ok = write(slave, writeBlock.data(), writeBlock.size()) == 269 &&
             readAll(slave, reply.data(), 13) &&
             write(slave, readBlock.data(), readBlock.size()) == 13 &&
             readAll(slave, reply.data(), 269);
    }
    const double wall = seconds(Clock::now() - start);
    if (!ok) kill(camera, SIGKILL);
    waitpid(camera, nullptr, 0);
    close(slave);
    close(master);
    if (!ok) std::perror("bench_update: raw ping-pong");
    return ok ? 2.0 * pairs / wall : 0;
}

// ---- 2./3. block transactions ----------------------------------------------------------------

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}


struct BlockRun {
    bool ok = false;
    double wall = 0, wire = 0;
    uint64_t transactions = 0;
    double programmerCpu = 0, camsimCpu = 0;  // seconds
    std::optional<uint64_t> programmerCalls, camsimCalls;
    // Median time beyond the wire time of the block writes (short reply) and of the read-backs
    // (short command, long reply), in microseconds.
    // And the 99th percentile of both kinds: the rare stalls that pull the ratio up.
    double writeBeyondUs = 0, readBeyondUs = 0, slowestBeyondUs = 0;
    double ratio() const { return wire > 0 ? wall / wire : 0; }
};

BlockRun blockRun(const std::string& camsimPath, uint32_t pace, int blocks, const char* name) {
    BlockRun run;
    const fs::path folder = scratchFolder(name);
    Camsim camsim;
    std::vector<std::string> options{"--erase-time", "0"};
    if (pace != 0) options.insert(options.end(), {"--pace", std::to_string(pace)});
    if (camsim.start(camsimPath, options, folder)) {
        setenv("QEL_COM1", camsim.process.portPath().c_str(), 1);
        protocol::NullLogSink log;
        Traffic traffic;
        traffic.rate = pace != 0 ? pace : kComBaud;
        CountingComUpdate com(log, traffic);
        std::vector<uint8_t> image(size_t(blocks) * kBlock), back(kBlock);
        for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 131 + (i >> 8));
        namespace cmd = protocol::cmd;
        if (com.Open(0) == 0 && camera::OpenDevice(com, files::kRowHeadFpga, 3) == 0 &&
            camera::EraseDevice(com) == 0) {
            traffic = Traffic{};
            traffic.rate = pace != 0 ? pace : kComBaud;
            SyscallCounter calls(0);
            const double cpu = cpuSeconds(), camsimCpu = cpuSeconds(camsim.process.pid());
            calls.start();
            camsim.calls->start();
            const auto start = Clock::now();
            run.ok = true;
            // Both directions carry a 269-byte and a 13-byte telegram.
            const double blockWire = (269.0 + 13.0) * 10.0 / traffic.rate;
            std::vector<double> writeBeyond, readBeyond;
            for (int b = 0; b < blocks && run.ok; ++b) {
                const uint8_t* data = image.data() + size_t(b) * kBlock;
                const uint32_t address = uint32_t(b) * kBlock;
                const auto writeStart = Clock::now();
                run.ok = camera::WriteBlock(com, cmd::WRITE_BLOCK, address, kBlock, data) == 0;
                const auto readStart = Clock::now();
                run.ok = run.ok &&
                         camera::ReadBlock(com, cmd::READ_BLOCK, address, kBlock, back.data()) == 0 &&
                         std::memcmp(back.data(), data, kBlock) == 0;
                writeBeyond.push_back(1e6 * (seconds(readStart - writeStart) - blockWire));
                readBeyond.push_back(1e6 * (seconds(Clock::now() - readStart) - blockWire));
            }
            run.wall = seconds(Clock::now() - start);
            run.writeBeyondUs = median(writeBeyond);
            run.readBeyondUs = median(readBeyond);
            std::vector<double> both = writeBeyond;
            both.insert(both.end(), readBeyond.begin(), readBeyond.end());
            std::sort(both.begin(), both.end());
            if (!both.empty()) run.slowestBeyondUs = both[both.size() * 99 / 100];
            calls.stop();
            camsim.calls->stop();
            run.programmerCpu = cpuSeconds() - cpu;
            run.camsimCpu = cpuSeconds(camsim.process.pid()) - camsimCpu;
            run.programmerCalls = calls.count();
            run.camsimCalls = camsim.calls->count();
            run.wire = traffic.wire;
            run.transactions = traffic.transactions;
            camera::CloseDevice(com);
        }
        if (!run.ok) std::fprintf(stderr, "bench_update: the %s block run failed\n", name);
    }
    camsim.stop();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return run;
}

void printBlockRun(const char* label, const BlockRun& run) {
    std::printf("%-8s transfer/wire %7.4f  programmer CPU %6.3f %%  camsim CPU %6.3f %%  "
                "syscalls/transaction %s + %s  beyond wire %4.0f / %4.0f us, p99 %5.0f us\n",
                label, run.ratio(), 100 * run.programmerCpu / run.wall,
                100 * run.camsimCpu / run.wall,
                perTransaction(run.programmerCalls, run.transactions).c_str(),
                perTransaction(run.camsimCalls, run.transactions).c_str(), run.writeBeyondUs,
                run.readBeyondUs, run.slowestBeyondUs);
}

void printUnpaced(double raw, double rate, const BlockRun& unpaced, int blocks) {
    std::printf("== raw ping-pong over a pty: 269 out / 13 back, 13 out / 269 back, best of 3 ==\n");
    std::printf("transactions / s            %8.0f\n", raw);
    std::printf("== COM port, camsim unpaced: %d blocks written and read back, best of 3 ==\n",
                4 * blocks);
    std::printf("block transactions / s      %8.0f    %.1f %% of the raw ping-pong (target >= 90 %%)\n",
                rate, raw > 0 ? 100 * rate / raw : 0.0);
    const double unpacedCount = double(std::max<uint64_t>(unpaced.transactions, 1));
    std::printf("CPU per transaction         %8.1f us programmer, %.1f us camsim\n",
                1e6 * unpaced.programmerCpu / unpacedCount, 1e6 * unpaced.camsimCpu / unpacedCount);
    std::printf("syscalls per transaction    %s programmer, %s camsim\n",
                perTransaction(unpaced.programmerCalls, unpaced.transactions).c_str(),
                perTransaction(unpaced.camsimCalls, unpaced.transactions).c_str());
}

enum class Placement { kOneCore, kFree, kBoth };

// Keeps this process, and the camsim it starts, on the core it runs on until destroyed.
class OneCore {
public:
    OneCore() {
        sched_getaffinity(0, sizeof before_, &before_);
        cpu_set_t mask;
        CPU_ZERO(&mask);
        CPU_SET(std::max(sched_getcpu(), 0), &mask);
        pinned_ = sched_setaffinity(0, sizeof mask, &mask) == 0;
        if (!pinned_) std::perror("bench_update: keeping to one core");
    }
    ~OneCore() {
        if (pinned_) sched_setaffinity(0, sizeof before_, &before_);
    }
    OneCore(const OneCore&) = delete;
    OneCore& operator=(const OneCore&) = delete;

private:
    cpu_set_t before_{};
    bool pinned_ = false;
};

// Several paced runs, then their minimum and median. The targets are judged with the programmer
// and camsim on one core: across the two cores of a small virtual machine every hand-over between
// the two processes waits for the host to wake the other virtual CPU, a cost of the simulation
// that a camera on a real line does not add; the free placement is shown beside it.
bool pacedSet(const std::string& camsimPath, int blocks, int runs, bool oneCore) {
    std::optional<OneCore> pin;
    if (oneCore) pin.emplace();
    std::printf("== COM port, camsim paced at %u baud: %d blocks written and read back, %d runs, "
                "%s ==\n",
                kComBaud, blocks, runs,
                oneCore ? "programmer and camsim on one core" : "free placement");
    bool ok = true;
    std::vector<double> ratios, programmerShares, camsimShares;
    for (int r = 0; r < runs; ++r) {
        const BlockRun run = blockRun(camsimPath, kComBaud, blocks, "paced");
        ok = ok && run.ok;
        if (!run.ok) continue;
        char label[16];
        std::snprintf(label, sizeof label, "run %d", r + 1);
        printBlockRun(label, run);
        ratios.push_back(run.ratio());
        programmerShares.push_back(100 * run.programmerCpu / run.wall);
        camsimShares.push_back(100 * run.camsimCpu / run.wall);
    }
    if (ratios.empty()) return false;
    std::printf("ratio transfer / wire       min %.4f  median %.4f  %s\n",
                *std::min_element(ratios.begin(), ratios.end()), median(ratios),
                oneCore ? "(target <= 1.005)" : "(no target: see the one-core runs)");
    std::printf("programmer CPU / wall       min %.3f %%  median %.3f %% %s\n",
                *std::min_element(programmerShares.begin(), programmerShares.end()),
                median(programmerShares), oneCore ? " (target <= 0.5 %)" : "");
    std::printf("camsim CPU / wall           min %.3f %%  median %.3f %%\n",
                *std::min_element(camsimShares.begin(), camsimShares.end()), median(camsimShares));
    return ok;
}

// ---- 4. full update ----------------------------------------------------------------------------

bool isWait(app::RunPhase phase) {
    return phase == app::RunPhase::kReboot || phase == app::RunPhase::kErase;
}

// Times each step of the run; bytes are counted outside the waits.
class PhaseTimer : public app::ProgramRunObserver {
public:
    PhaseTimer(Traffic& traffic, SyscallCounter& programmer, SyscallCounter& camsim)
        : traffic_(traffic), programmer_(programmer), camsim_(camsim) {}
    void phaseStarted(int, app::RunPhase phase) override {
        close();
        current_ = phase;
        started_ = Clock::now();
        cpuStarted_ = cpuSeconds();
        traffic_.counting = !isWait(phase);
        if (isWait(phase)) {
            programmer_.stop();
            camsim_.stop();
        }
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
            if (isWait(*current_)) {
                programmer_.resume();
                camsim_.resume();
            }
        }
        traffic_.counting = true;  // between steps the run talks to the camera, too
    }
    Traffic& traffic_;
    SyscallCounter& programmer_;
    SyscallCounter& camsim_;
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

bool fullRun(const std::string& camsimPath, tools::SampleSettings sample, bool camLink) {
    const fs::path folder = scratchFolder(camLink ? "camlink" : "com");
    const uint32_t rate = camLink ? kCamLinkBaud : kComBaud;
    // Camera firmware older than the file's, new enough for the fast Main FPGA transfer.
    sample.versionMajor = 7;
    std::vector<uint8_t> bytes;
    if (tools::buildSampleUpdateFile(sample, bytes) != 0) return false;
    const std::string file = (folder / "sample.qup").string();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));

    std::vector<std::string> options{"--pace", std::to_string(rate)};
    for (int row = 0; row < app::kRowCount; ++row)
        options.insert(options.end(), {"--firmware", std::to_string(row) + ":" +
                                                         std::to_string(sample.variant) + ":6.00"});
    if (camLink)
        options.insert(options.end(), {"--camlink-port", "0", "--cl-baud",
                                       std::to_string(kCamLinkBaud)});
    bool ok = false;
    Camsim camsim;
    if (camsim.start(camsimPath, options, folder)) {
        setenv("QEL_COM1", camsim.process.portPath().c_str(), 1);
        setenv("CLSERSIM_PORT0", camsim.process.camlinkAddress().c_str(), 1);
        setenv("QEL_DATA_DIR", (folder / "data").c_str(), 1);
        protocol::NullLogSink log;
        Traffic traffic;
        traffic.rate = rate;
        CountingFactory factory(log, traffic);
        BenchHost host;
        host.file = file;
        SyscallCounter calls(0);
        PhaseTimer timer(traffic, calls, *camsim.calls);
        app::ProgDlg dialog(host, factory);
        dialog.SetOptions({.interfaceType = camLink ? app::kInterfaceCameraLink
                                                    : app::kInterfaceComPort,
                           .portNumber = 0,
                           .grabberDll = "clsersim",
                           .connectWithoutDialog = true});
        dialog.OnInitDialog();
        dialog.OnLoadFile();
        if (dialog.Loaded().loadedFileName.empty()) {
            std::fprintf(stderr, "bench_update: the sample file was not accepted\n");
        } else {
            traffic = Traffic{};
            traffic.rate = rate;
            const double cpuBefore = cpuSeconds(), camsimBefore = cpuSeconds(camsim.process.pid());
            calls.start();
            camsim.calls->start();
            const auto start = Clock::now();
            dialog.Program({&timer, {}});
            const double wall = seconds(Clock::now() - start);
            calls.stop();
            camsim.calls->stop();
            const double cpu = cpuSeconds() - cpuBefore;
            const double camsimCpu = cpuSeconds(camsim.process.pid()) - camsimBefore;

            int programmed = 0;
            for (const auto& outcome : dialog.DeviceResults())
                programmed += outcome.result == app::DeviceResult::kProgrammed;
            using app::RunPhase;
            const double write = seconds(timer.in(RunPhase::kWrite));
            const double reboot = seconds(timer.in(RunPhase::kReboot));
            const double erase = seconds(timer.in(RunPhase::kErase));
            const double transfer = wall - reboot - erase;
            const double transferCpu =
                cpu - timer.cpuIn(RunPhase::kReboot) - timer.cpuIn(RunPhase::kErase);

            std::printf("devices programmed          %d of 5 (%s)\n", programmed,
                        timer.succeeded && host.boxes == 0 ? "run succeeded" : "run FAILED");
            std::printf("total time                  %8.2f s\n", wall);
            std::printf("  reboots incl. polls       %8.2f s  (wait)\n", reboot);
            std::printf("  erase                     %8.2f s  (wait)\n", erase);
            std::printf("  transfer, all but waits   %8.2f s  (writing devices %.2f s)\n", transfer,
                        write);
            std::printf("bytes exchanged             %llu out, %llu back in %llu transactions, "
                        "%llu of them block transactions\n",
                        (unsigned long long)traffic.commandBytes,
                        (unsigned long long)traffic.replyBytes,
                        (unsigned long long)traffic.transactions,
                        (unsigned long long)traffic.blockTransactions);
            std::printf("wire time outside the waits %8.2f s  (10 bits a byte at the rate in force)\n",
                        traffic.wire);
            std::printf("ratio transfer / wire       %8.4f    (target %s)\n", transfer / traffic.wire,
                        camLink ? "<= 1.02" : "<= 1.005");
            if (traffic.transactions != 0)
                std::printf("  beyond wire time          %8.0f us per transaction\n",
                            1e6 * (transfer - traffic.wire) / double(traffic.transactions));
            std::printf("programmer CPU / wall       %8.3f %%  (transfer %.3f %%)\n",
                        100.0 * cpu / wall, 100.0 * transferCpu / transfer);
            std::printf("camsim CPU / wall           %8.3f %%\n", 100.0 * camsimCpu / wall);
            std::printf("syscalls per transaction    %s programmer, %s camsim (outside the waits)\n",
                        perTransaction(calls.count(), traffic.transactions).c_str(),
                        perTransaction(camsim.calls->count(), traffic.transactions).c_str());
            ok = programmed == 5 && timer.succeeded;
        }
    }
    camsim.stop();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return ok;
}

// ---- 5. several cameras in one command ----------------------------------------------------------

double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct CommandRun {
    double wall = 0;
    double cpu = 0;  // kelvoflash-cli and the children it waited for
    bool ok = false;
};

// kelvoflash-cli with `arguments`, its output thrown away; camsims are not waited for here, so
// the children's CPU is the command's alone.
CommandRun runCommand(const std::string& cli, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(cli.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const double cpuBefore = childrenCpuSeconds();
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execv(cli.c_str(), argv.data());
        _exit(127);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    CommandRun run;
    run.wall = seconds(Clock::now() - start);
    run.cpu = childrenCpuSeconds() - cpuBefore;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// One programming of the Main FPGA (64 KiB) on `count` cameras at once, each camera on a camsim of
// its own paced at the line's rate.
CommandRun camerasRun(const std::string& camsimPath, const std::string& cli, int count,
                      bool camLink, const std::string& file) {
    const uint32_t rate = camLink ? kCamLinkBaud : kComBaud;
    std::vector<std::unique_ptr<Camsim>> camsims;
    std::vector<std::string> arguments{"program", file, "--yes", "--devices", "main-fpga"};
    if (camLink)
        arguments.insert(arguments.end(), {"--interface", "camlink", "--grabber", "clsersim"});
    CommandRun run;
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> options{"--pace", std::to_string(rate)};
        for (int row = 0; row < app::kRowCount; ++row)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:6.00"});
        if (camLink)
            options.insert(options.end(), {"--camlink-port", "0", "--cl-baud",
                                           std::to_string(kCamLinkBaud)});
        camsims.push_back(std::make_unique<Camsim>());
        const fs::path folder = scratchFolder("cameras" + std::to_string(i));
        if (!camsims.back()->start(camsimPath, options, folder)) return run;
        const tools::CamsimProcess& process = camsims.back()->process;
        if (camLink) {
            setenv(("CLSERSIM_PORT" + std::to_string(i)).c_str(),
                   process.camlinkAddress().c_str(), 1);
            arguments.insert(arguments.end(), {"--port", std::to_string(i)});
        } else {
            arguments.insert(arguments.end(), {"--port", process.portPath()});
        }
    }
    run = runCommand(cli, arguments);
    for (auto& camsim : camsims) camsim->stop();
    for (int i = 0; i < count; ++i) {
        std::error_code ignored;
        fs::remove_all(scratchFolder("cameras" + std::to_string(i)), ignored);
    }
    return run;
}

bool camerasSet(const std::string& camsimPath, int runs, bool camLink,
                const std::vector<int>& counts) {
    const std::string cli = (fs::path(camsimPath).parent_path() / "kelvoflash-cli").string();
    const fs::path folder = scratchFolder("cameras_file");
    tools::SampleSettings sample;
    sample.variant = 4;
    sample.versionMajor = 7;
    sample.mainFpgaBytes = 64 * 1024;
    std::vector<uint8_t> bytes;
    if (tools::buildSampleUpdateFile(sample, bytes) != 0) return false;
    const std::string file = (folder / "sample.qup").string();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
    setenv("QEL_DATA_DIR", (folder / "data").c_str(), 1);
    std::printf("== %s: several cameras in one command, Main FPGA 64 KiB at %u baud, %d runs ==\n",
                camLink ? "Camera Link boards" : "COM ports", camLink ? kCamLinkBaud : kComBaud,
                runs);
    bool ok = true;
    double oneWall = 0;
    for (const int count : counts) {
        std::vector<double> walls, cpus;
        for (int run = 0; run < runs; ++run) {
            const CommandRun result = camerasRun(camsimPath, cli, count, camLink, file);
            ok = ok && result.ok;
            walls.push_back(result.wall);
            cpus.push_back(100.0 * result.cpu / result.wall / count);
        }
        const double wall = median(walls);
        if (count == counts.front()) oneWall = wall;
        std::printf("%d camera(s)   wall %7.2f s (median)  N / 1 camera %6.3f  (target <= 1.10)  "
                    "CPU per camera %6.3f %% of wall (target <= 0.5 %%)%s\n",
                    count, wall, oneWall > 0 ? wall / oneWall : 0.0, median(cpus),
                    ok ? "" : "  FAILED RUNS");
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string camsimPath = (fs::path(argv[0]).parent_path() / "camsim").string();
    int runs = 5, blocks = 128;
    bool camLink = true, fullCom = false, unpacedRuns = true, cameras = false,
         camerasOnly = false;
    Placement placement = Placement::kBoth;
    tools::SampleSettings sample;
    sample.variant = 4;
    sample.mainFpgaBytes = 256 * 1024;
    sample.headFpgaBytes = 128 * 1024;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--camsim" && i + 1 < argc) {
            camsimPath = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--blocks" && i + 1 < argc) {
            blocks = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--paced-only") {
            unpacedRuns = false;
            camLink = false;
        } else if (arg == "--placement" && i + 1 < argc) {
            const std::string value = argv[++i];
            if (value == "one-core") {
                placement = Placement::kOneCore;
            } else if (value == "free") {
                placement = Placement::kFree;
            } else if (value != "both") {
                std::fprintf(stderr, "bench_update: --placement takes one-core, free or both\n");
                return 2;
            }
        } else if (arg == "--no-camlink") {
            camLink = false;
        } else if (arg == "--full-com") {
            fullCom = true;
        } else if (arg == "--cameras") {
            cameras = true;
        } else if (arg == "--cameras-only") {
            cameras = true;
            camerasOnly = true;
        } else if (arg == "--full-images") {
            sample = tools::SampleSettings{};
            sample.variant = 4;
        } else {
            std::fprintf(stderr,
                         "usage: bench_update [--camsim PATH] [--runs N] [--blocks N] "
                         "[--no-camlink] [--paced-only] [--placement one-core|free|both] "
                         "[--full-com] [--full-images] [--cameras] [--cameras-only]\n");
            return 2;
        }
    }
    bool ok = true;
    if (cameras) {
        ok = camerasSet(camsimPath, runs, false, {1, 2, 4}) && ok;
        if (camLink) ok = camerasSet(camsimPath, runs, true, {1, 2}) && ok;
        if (camerasOnly) return ok ? 0 : 1;
    }
    // Raw and unpaced take turns, three times, and the best of each counts: a busy moment of
    // the machine then hits both alike or neither.
    const int pairs = 2000;
    double raw = 0;
    BlockRun unpaced;
    double rate = 0;
    for (int turn = 0; turn < 3 && unpacedRuns; ++turn) {
        raw = std::max(raw, rawPingPong(pairs));
        const BlockRun run = blockRun(camsimPath, 0, 4 * blocks, "unpaced");
        ok = ok && run.ok;
        const double runRate = run.wall > 0 ? double(run.transactions) / run.wall : 0;
        if (runRate > rate) {
            rate = runRate;
            unpaced = run;
        }
    }
    if (unpacedRuns) printUnpaced(raw, rate, unpaced, blocks);


    if (placement != Placement::kFree) ok = pacedSet(camsimPath, blocks, runs, true) && ok;
    if (placement != Placement::kOneCore) ok = pacedSet(camsimPath, blocks, runs, false) && ok;

    if (camLink) {
        std::printf("== Camera Link, camsim paced: full five-device update at %u baud ==\n",
                    kCamLinkBaud);
        ok = fullRun(camsimPath, sample, true) && ok;
    }
    if (fullCom) {
        std::printf("== COM port, camsim paced: full five-device update at %u baud ==\n", kComBaud);
        ok = fullRun(camsimPath, sample, false) && ok;
    }
    return ok ? 0 : 1;
}
