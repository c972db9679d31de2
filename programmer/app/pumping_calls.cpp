#include "programmer/app/pumping_calls.h"

namespace app {

using Clock = std::chrono::steady_clock;

PumpingCalls::PumpingCalls(std::function<void()> pump)
    : pump_(std::move(pump)), lastPump_(Clock::now()) {}

PumpingCalls::~PumpingCalls() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (helper_.joinable())
        helper_.join();
}

void PumpingCalls::pumpNow() {
    pump_();
    lastPump_ = Clock::now();
}

void PumpingCalls::run(const std::function<void()>& call) {
    if (std::this_thread::get_id() == helperId_) {
        call();
        return;
    }
    Job job{&call, false, nullptr};
    std::unique_lock<std::mutex> lock(mutex_);
    if (!helper_.joinable()) {
        helper_ = std::thread([this] { work(); });
        helperId_ = helper_.get_id();
    }
    jobs_.push_back(&job);
    wake_.notify_one();
    // The waits below only set the pace of the pump; the call's own time-outs are its own.
    while (!done_.wait_until(lock, lastPump_ + kPumpInterval, [&job] { return job.finished; })) {
        lock.unlock();
        pumpNow();
        lock.lock();
    }
    lock.unlock();
    if (Clock::now() - lastPump_ >= kPumpInterval)
        pumpNow();
    if (job.failure)
        std::rethrow_exception(job.failure);
}

void PumpingCalls::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        Job* job = jobs_.front();
        lock.unlock();
        try {
            (*job->call)();
        } catch (...) {
            job->failure = std::current_exception();
        }
        lock.lock();
        jobs_.pop_front();
        job->finished = true;
        done_.notify_all();
    }
}

}  // namespace app
