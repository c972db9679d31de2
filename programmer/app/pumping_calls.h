#pragma once
// Runs the camera link's blocking calls on a helper thread while the user-interface thread goes
// on handling window messages, so that no telegram (an erase that takes seconds, a baud search
// with no camera behind the grabber) leaves the windows unanswered. The flow itself stays on the
// user-interface thread: it alone touches the model and the toolkit, and it waits for each call
// to end, so telegrams keep their order and nothing else uses the link meanwhile.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "programmer/camera/call_runner.h"

namespace app {

class PumpingCalls : public camera::CallRunner {
public:
    // `pump` handles pending window messages (Host::pumpMessages).
    explicit PumpingCalls(std::function<void()> pump);
    ~PumpingCalls() override;
    PumpingCalls(const PumpingCalls&) = delete;
    PumpingCalls& operator=(const PumpingCalls&) = delete;

    // Hands `call` to the helper and pumps at least every kPumpInterval until it ended. A call
    // made on the helper (a search's own probes) runs at once; one that a pumped message starts
    // while another runs waits its turn. A run of quick calls pumps at the same pace.
    void run(const std::function<void()>& call) override;

    static constexpr std::chrono::milliseconds kPumpInterval{50};

private:
    struct Job {
        const std::function<void()>* call;
        bool finished = false;
        std::exception_ptr failure;
    };
    void work();
    void pumpNow();

    std::function<void()> pump_;
    std::chrono::steady_clock::time_point lastPump_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Job*> jobs_;
    bool stopping_ = false;
    std::thread helper_;  // started with the first call
    std::thread::id helperId_;
};

}  // namespace app
