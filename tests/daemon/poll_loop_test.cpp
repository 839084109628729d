// The pass: its waits, the one-shot uptime action and the order of work.
#include "fakes/daemon_test.h"

#include <climits>

namespace
{

using PollLoop = DaemonTest;

TEST_F(PollLoop, WaitsTenSecondsBeforeTheFirstPassAndFiveBeforeEachLater)
{
    passes(4);
    EXPECT_EQ(fake::trace(),
              join({pass({"sleep 10", "GetSysUpTime"}), pass({"sleep 5", "GetSysUpTime"}),
                    pass({"sleep 5", "GetSysUpTime"}), pass({"sleep 5", "GetSysUpTime"})}));
    EXPECT_EQ(fake::clock(), 25u);
}

struct UptimeCase {
    int uptime;
    bool fires;
};

class UptimeAction : public PollLoop, public ::testing::WithParamInterface<UptimeCase>
{
};

TEST_P(UptimeAction, FiresFromEighteenHundredSecondsOn)
{
    fake::script_uptime({GetParam().uptime});
    passes(1);
    fake::Trace expected = {"sleep 10", "GetSysUpTime"};
    if (GetParam().fires)
        expected.push_back("system killall getdeviceinfo");
    EXPECT_EQ(fake::trace(), pass(expected));
    EXPECT_EQ(state.devinfo_killed, GetParam().fires);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, UptimeAction,
                         ::testing::Values(UptimeCase{1800, true}, UptimeCase{1801, true},
                                           UptimeCase{INT_MAX, true}, UptimeCase{1799, false},
                                           UptimeCase{0, false}, UptimeCase{-1, false},
                                           UptimeCase{INT_MIN, false}));

TEST_F(PollLoop, UptimeActionFiresOnceAndStopsAskingForUptime)
{
    fake::script_uptime({1790, 1799, 1800, 1805, 1810});
    passes(5);
    EXPECT_EQ(fake::trace(),
              join({pass({"sleep 10", "GetSysUpTime"}), pass({"sleep 5", "GetSysUpTime"}),
                    pass({"sleep 5", "GetSysUpTime", "system killall getdeviceinfo"}),
                    pass({"sleep 5"}), pass({"sleep 5"})}));
}

TEST_F(PollLoop, DaemonStartedLateFiresInItsFirstPass)
{
    fake::script_uptime({86400});
    passes(2);
    EXPECT_EQ(fake::trace(),
              join({pass({"sleep 10", "GetSysUpTime", "system killall getdeviceinfo"}),
                    pass({"sleep 5"})}));
    EXPECT_EQ(fake::clock(), 15u);
}

TEST_F(PollLoop, UptimeThatWrapsNegativeAfterFiringChangesNothing)
{
    fake::script_uptime({1800, -5});
    passes(3);
    EXPECT_EQ(fake::trace(),
              join({pass({"sleep 10", "GetSysUpTime", "system killall getdeviceinfo"}),
                    pass({"sleep 5"}), pass({"sleep 5"})}));
}

TEST_F(PollLoop, EachRestartedDaemonStartsFromItsOwnFreshState)
{
    fake::script_uptime({1800});
    passes(1);
    fake::reset();
    fake::script_uptime({1800});
    state = poll_state_initial();
    passes(1);
    EXPECT_EQ(fake::trace(), pass({"sleep 10", "GetSysUpTime", "system killall getdeviceinfo"}));
}

} // namespace
