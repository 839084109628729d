// The pass: its waits, the one-shot uptime action and the order of work.
#include "fakes/daemon_test.h"

#include <climits>

using PollLoop = DaemonTest;

TEST_F(PollLoop, WaitsTenSecondsBeforeTheFirstPassAndFiveBeforeEachLater)
{
    passes(3);
    EXPECT_EQ(fake::world.trace, join({quiet_pass(10), quiet_pass(5), quiet_pass(5)}));
    EXPECT_EQ(fake::world.clock, 20u);
}

TEST_F(PollLoop, UptimeActionFiresOnceFromEighteenHundredSeconds)
{
    const struct {
        std::deque<int> uptimes; // one a pass, until it fires
        int fires_in_pass;       // 0: never
    } cases[] = {
        {{1800}, 1},           {{INT_MAX}, 1},          {{1799, 1800}, 2}, {{1790, 1799, 1801}, 3},
        {{0, -1, INT_MIN}, 0}, {{1799, 1799, 1799}, 0},
    };
    for (const auto &c : cases) {
        SetUp();
        fake::world.uptime = c.uptimes;
        fake::world.uptime.push_back(-5); // a clock gone backwards after it fired
        passes(4);
        fake::Trace expected;
        for (int pass = 1; pass <= 4; ++pass) {
            bool asks = c.fires_in_pass == 0 || pass <= c.fires_in_pass;
            fake::Trace one = quiet_pass(pass == 1 ? 10 : 5, asks);
            if (pass == c.fires_in_pass)
                one.insert(one.begin() + 2, "system killall getdeviceinfo");
            expected = join({expected, one});
        }
        EXPECT_EQ(fake::world.trace, expected) << "first uptime " << c.uptimes.front();
        EXPECT_EQ(state.devinfo_killed, c.fires_in_pass != 0);
    }
}
