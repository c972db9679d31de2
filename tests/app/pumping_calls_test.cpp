// The helper thread of the camera link's blocking calls: the calling thread pumps while a call
// blocks, calls keep their order whoever starts them, and failures reach the caller. Real threads,
// calls of a few hundred milliseconds at most.

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "programmer/app/pumping_calls.h"

namespace {

using namespace std::chrono_literals;
using app::PumpingCalls;

struct Recorder {
    std::vector<std::string> events;
    int pumps = 0;
    std::function<void()> duringPump;
};

TEST(PumpingCalls, PumpsWhileACallBlocksKeepsTheOrderAndHandsFailuresBack) {
    const struct {
        const char* name;
        // The test's part: what runs as the call (given the runner and the recorder).
        std::function<void(PumpingCalls&, Recorder&)> call;
        std::vector<std::string> events;
        int minPumps, maxPumps;
        std::string failure;
    } cases[] = {
        {"a call of 300 ms runs on the helper while the caller pumps",
         [](PumpingCalls&, Recorder& r) {
             std::this_thread::sleep_for(300ms);
             r.events.push_back("blocked");
         },
         {"blocked"}, 4, 8, ""},
        {"a call the helper makes itself runs at once",
         [](PumpingCalls& calls, Recorder& r) {
             calls.run([&r] { r.events.push_back("inner"); });
             r.events.push_back("outer");
         },
         {"inner", "outer"}, 0, 1, ""},
        {"a call a pumped message starts waits for the running one",
         [](PumpingCalls& calls, Recorder& r) {
             r.duringPump = [&calls, &r] {
                 r.duringPump = nullptr;
                 calls.run([&r] { r.events.push_back("second"); });
             };
             std::this_thread::sleep_for(150ms);
             r.events.push_back("first");
         },
         {"first", "second"}, 1, 6, ""},
        {"what the call throws reaches the caller",
         [](PumpingCalls&, Recorder&) { throw std::runtime_error("grabber gone"); },
         {}, 0, 1, "grabber gone"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        const std::thread::id caller = std::this_thread::get_id();
        PumpingCalls calls([&] {
            EXPECT_EQ(std::this_thread::get_id(), caller) << "pumped off the caller's thread";
            ++recorder.pumps;
            if (recorder.duringPump)
                recorder.duringPump();
        });
        std::this_thread::sleep_for(PumpingCalls::kPumpInterval / 5);
        std::string failure;
        try {
            calls.run([&] {
                EXPECT_NE(std::this_thread::get_id(), caller) << "ran on the caller's thread";
                c.call(calls, recorder);
            });
        } catch (const std::exception& error) {
            failure = error.what();
        }
        EXPECT_EQ(recorder.events, c.events);
        EXPECT_GE(recorder.pumps, c.minPumps);
        EXPECT_LE(recorder.pumps, c.maxPumps);
        EXPECT_EQ(failure, c.failure);
    }
}

// Quick calls in a row still pump, once per interval, as the flows' loops of short telegrams need.
TEST(PumpingCalls, QuickCallsInARowPumpOncePerInterval) {
    int pumps = 0;
    PumpingCalls calls([&pumps] { ++pumps; });
    const auto start = std::chrono::steady_clock::now();
    int runs = 0;
    while (std::chrono::steady_clock::now() - start < 10 * PumpingCalls::kPumpInterval) {
        calls.run([] {});
        ++runs;
    }
    EXPECT_GT(runs, 20);
    EXPECT_GE(pumps, 5);
    EXPECT_LE(pumps, 11);
}

}  // namespace
