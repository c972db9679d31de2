#include "programmer/cli/several_cameras.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/child_process.h"
#include "platform/terminal.h"
#include "programmer/app/start_options.h"
#include "programmer/cli/camera_lines.h"
#include "programmer/cli/interruption.h"
#include "programmer/cli/run_record.h"
#include "programmer/cli/subcommand.h"
#include "programmer/files/append_record.h"

namespace cli {

namespace {

using nlohmann::json;

// The children a signal is passed to; written before the signals are forwarded, read by the
// handler.
platform::ChildProcess* children[kCamerasMax] = {};
volatile size_t childCount = 0;

void forwardToChildren(int signal) {
    for (size_t i = 0; i < childCount; ++i)
        children[i]->stop(signal);
}

// A line one child wrote, or the end of one of its streams (`ended`).
struct Line {
    size_t camera = 0;
    bool errors = false;
    bool ended = false;
    std::string text;
};

class Lines {
public:
    void push(Line line) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(std::move(line));
        }
        ready_.notify_one();
    }
    // The lines that came, waiting at most `wait` for the first one.
    std::deque<Line> take(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait_for(lock, wait, [this] { return !lines_.empty(); });
        std::deque<Line> taken;
        taken.swap(lines_);
        return taken;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Line> lines_;
};

void readStream(platform::ChildProcess& child, size_t camera, bool errors, Lines& lines) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const long got = child.read(errors, buffer, sizeof buffer);
        if (got <= 0)
            break;
        pending.append(buffer, size_t(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string text = pending.substr(0, end);
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            pending.erase(0, end + 1);
            lines.push({camera, errors, false, std::move(text)});
        }
    }
    if (!pending.empty())
        lines.push({camera, errors, false, pending});
    lines.push({camera, errors, true, {}});
}

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The output of the merged run: JSON lines, one redrawn line per camera, or plain lines.
class Merger {
public:
    Merger(std::vector<CameraState>& cameras, bool json)
        : cameras_(cameras), json_(json), bars_(!json && isatty(STDOUT_FILENO) != 0) {}

    void line(const Line& line) {
        CameraState& camera = cameras_[line.camera];
        const std::string prefix = "[" + camera.port + "] ";
        if (line.errors) {
            above([&] { std::cerr << prefix << line.text << "\n" << std::flush; });
            return;
        }
        json event = json::parse(line.text, nullptr, false);
        if (!event.is_object()) {
            above([&] { std::cout << prefix << line.text << "\n" << std::flush; });
            return;
        }
        if (!event.contains("event"))
            event["event"] = "cameraInfo";  // info's one object
        const std::string shown = camera.apply(event, nowMs());
        if (json_) {
            event["port"] = camera.port;
            event["serial"] = camera.serial;
            std::cout << event.dump(-1, ' ', false, json::error_handler_t::replace) << "\n"
                      << std::flush;
            return;
        }
        const std::string name = event.value("event", "");
        if (name == "message" || shown.empty())
            return;
        const bool progress = name == "started" || name == "phase" || name == "progress" ||
                              name == "done" || name == "failed";
        if (bars_ && progress)
            return;
        above([&] { std::cout << prefix << shown << "\n" << std::flush; });
    }

    // Redraws the cameras' lines (on a terminal only).
    void draw() {
        if (!bars_)
            return;
        const int columns = platform::outputColumns();
        std::string block = drawn_ > 0 ? "\r\x1b[" + std::to_string(drawn_) + "A" : "";
        for (const CameraState& camera : cameras_)
            block += "\x1b[2K" + cameraLine(camera, columns > 0 ? columns : 80, nowMs()) + "\n";
        std::cout << block << std::flush;
        drawn_ = int(cameras_.size());
    }

    // Writes above the cameras' lines: they are cleared first and drawn again after.
    template <typename Write>
    void above(Write write) {
        if (bars_ && drawn_ > 0) {
            std::cout << "\r\x1b[" << drawn_ << "A\x1b[J" << std::flush;
            drawn_ = 0;
        }
        write();
        draw();
    }

    // The last drawing of the cameras' lines stays; what follows is written below it.
    void freeze() {
        draw();
        bars_ = false;
        drawn_ = 0;
    }

    bool jsonStyle() const { return json_; }

private:
    std::vector<CameraState>& cameras_;
    bool json_;
    bool bars_;
    int drawn_ = 0;
};

std::string cameraName(const CameraState& camera) {
    return "[" + camera.port + "]" +
           (camera.serial.is_null() ? std::string() : " serial " + camera.serial.dump());
}

}  // namespace

int runSeveralCameras(
    const std::string& command, const std::string& file, const ConnectionOptions& options,
    const std::function<std::vector<std::string>(size_t, const std::string&)>& childArguments) {
    if (options.ports.size() > kCamerasMax) {
        std::cerr << "kelvoflash-cli: at most " << kCamerasMax << " cameras in one command\n";
        return kExitUsage;
    }
    for (const std::string& port : options.ports) {
        ConnectionOptions one = options;
        one.port = port;
        app::StartOptions start;
        std::string device, error;
        if (!applyConnectionOptions(one, start, device, error)) {
            std::cerr << "kelvoflash-cli: --port " << port << ": " << error << "\n";
            return kExitUsage;
        }
    }
    if (const std::string refusal = samePortRefusal(options); !refusal.empty()) {
        std::cerr << "kelvoflash-cli: " << refusal << "\n";
        return kExitUsage;
    }
    if (!options.record.empty()) {
        std::cerr << "kelvoflash-cli: --record records the exchanges of one camera: give one "
                     "--port with it\n";
        return kExitUsage;
    }
    if (!options.report.empty()) {
        if (const int failure = files::appendRecord(options.report, "")) {
            std::cerr << "Cannot append the run's record to " << options.report << ": "
                      << std::strerror(failure) << "\n";
            return kExitFailed;
        }
    }

    // Records for the cameras whose children a second signal ends before they append their own.
    std::deque<ConnectionOptions> perCamera;
    std::vector<std::unique_ptr<RunRecord>> records;
    for (const std::string& port : options.ports) {
        perCamera.push_back(options);
        perCamera.back().port = port;
        records.push_back(std::make_unique<RunRecord>(command, perCamera.back(), file));
    }
    const std::string program = platform::ChildProcess::ownProgram();
    std::vector<CameraState> cameras(options.ports.size());
    std::vector<std::unique_ptr<platform::ChildProcess>> processes;
    Lines lines;
    std::vector<std::thread> readers;
    size_t open = 0;  // streams not ended yet
    Merger merger(cameras, options.json);
    // From the first child on, a signal stops the cameras at their safe points, not this program.
    interruption::forwardSignals(forwardToChildren);
    for (size_t i = 0; i < options.ports.size(); ++i) {
        cameras[i].port = options.ports[i];
        std::vector<std::string> arguments = childArguments(i, options.ports[i]);
        for (const std::string& argument : childConnectionArguments(options, options.ports[i]))
            arguments.push_back(argument);
        processes.push_back(std::make_unique<platform::ChildProcess>());
        if (const int failure = processes.back()->start(program, arguments)) {
            cameras[i].ended = true;
            cameras[i].status = kExitFailed;
            merger.above([&] {
                std::cerr << "[" << cameras[i].port << "] cannot start " << program << ": "
                          << std::strerror(failure) << "\n";
            });
            continue;
        }
        children[childCount] = processes.back().get();
        childCount = childCount + 1;
        open += 2;
        readers.emplace_back(readStream, std::ref(*processes.back()), i, false, std::ref(lines));
        readers.emplace_back(readStream, std::ref(*processes.back()), i, true, std::ref(lines));
    }

    std::vector<int> streamsLeft(cameras.size(), 2);
    merger.draw();
    while (open > 0) {
        for (const Line& line : lines.take(std::chrono::milliseconds(250))) {
            if (!line.ended) {
                merger.line(line);
                continue;
            }
            --open;
            if (--streamsLeft[line.camera] == 0) {
                cameras[line.camera].status = processes[line.camera]->wait();
                cameras[line.camera].ended = true;
            }
        }
        merger.draw();
    }
    for (std::thread& reader : readers)
        reader.join();

    merger.freeze();
    for (size_t i = 0; i < cameras.size(); ++i) {
        if (!cameras[i].stoppedAtOnce)
            continue;
        records[i]->cameraReported(cameras[i].camera);
        if (const std::string failure = records[i]->append(cameras[i].status); !failure.empty())
            std::cerr << "[" << cameras[i].port << "] " << failure << "\n";
    }
    // Per camera what finishes it, then which cameras failed.
    size_t succeeded = 0;
    json list = json::array();
    std::string failed;
    for (const CameraState& camera : cameras) {
        const bool ok = camera.status == kExitOk;
        succeeded += ok ? 1 : 0;
        list.push_back({{"port", camera.port},
                        {"serial", camera.serial},
                        {"ok", ok},
                        {"exitStatus", camera.status}});
        if (ok)
            continue;
        failed += (failed.empty() ? "" : ", ") + cameraName(camera) + " (exit status " +
                  std::to_string(camera.status) + ")";
        if (!merger.jsonStyle())
            for (const std::string& command : camera.commands)
                merger.above([&] {
                    std::cout << "[" << camera.port << "] To finish this camera: " << command
                              << "\n";
                });
    }
    const bool all = succeeded == cameras.size();
    if (merger.jsonStyle()) {
        std::cout << json{{"event", "cameras"},
                          {"port", nullptr},
                          {"serial", nullptr},
                          {"ok", all},
                          {"cameras", list}}
                         .dump(-1, ' ', false, json::error_handler_t::replace)
                  << "\n";
    } else {
        merger.above([&] {
            if (all)
                std::cout << "All " << cameras.size() << " cameras succeeded.\n";
            else
                std::cout << succeeded << " of " << cameras.size()
                          << " cameras succeeded; failed: " << failed << ".\n";
        });
    }
    std::cout << std::flush;
    if (interruption::count() > 0)
        return interruption::exitStatus();
    return all ? kExitOk : kExitFailed;
}

}  // namespace cli
