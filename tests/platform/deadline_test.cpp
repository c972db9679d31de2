#include "platform/deadline.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using platform::Deadline;

TEST(Deadline, ExpiresAfterItsDurationAndNeverReportsNegativeTime) {
    Deadline deadline(30ms);
    EXPECT_FALSE(deadline.expired());
    EXPECT_GT(deadline.remaining(), 0ns);
    EXPECT_LE(deadline.remaining(), 30ms);
    std::this_thread::sleep_for(40ms);
    EXPECT_TRUE(deadline.expired());
    EXPECT_EQ(deadline.remaining(), 0ns);

    EXPECT_EQ(Deadline(-5ms).remaining(), 0ns);
    EXPECT_FALSE(Deadline::at(Deadline::SteadyClock::now() + 1h).expired());
}
