// The service watchdog and the restart procedures, through whole passes.
#include "fakes/daemon_test.h"

#include "services/watchdog.h"

namespace
{

using Watchdog = DaemonTest;

// What a boa restart must do after removing the pid file, written out in
// full: the kill list, in its order, each through _eval to the console.
const fake::Trace boa_restart = {
    "_eval killall -9 boa >/dev/console 0 null",
    "_eval killall -9 udhcpd >/dev/console 0 null",
    "_eval killall -9 upnp >/dev/console 0 null",
    "_eval killall -9 ripd >/dev/console 0 null",
    "_eval killall -9 dnrd >/dev/console 0 null",
    "_eval killall -9 crond >/dev/console 0 null",
    "_eval killall -9 syslogd >/dev/console 0 null",
    "_eval killall -9 ntpclient >/dev/console 0 null",
    "_eval killall -9 smtpclient >/dev/console 0 null",
    "_eval killall -9 getdeviceinfo >/dev/console 0 null",
    "_eval killall -9 httphijack >/dev/console 0 null",
    "_eval killall -9 pppd >/dev/console 0 null",
    "_eval killall -9 pptp >/dev/console 0 null",
    "_eval killall -9 bpalogin >/dev/console 0 null",
    "system x",
    "sleep 2",
    "system /bin/boa -c /etc &",
    "say run_boa",
};

const fake::Trace dnrd_restart = {
    "_eval killall -9 dnrd >/dev/console 0 null",
    "system /bin/dnrd &",
    "say run_dnrd",
};

TEST_F(Watchdog, BothRunningAsksOnceEachAndWaitsForNothing)
{
    poll_services();
    EXPECT_EQ(fake::trace(), fake::Trace({"task_is_running boa", "task_is_running dnrd"}));
    EXPECT_EQ(fake::clock(), 0u);
}

TEST_F(Watchdog, AGapShorterThanTheRecheckIsTolerated)
{
    fake::script_task("boa", {0, 1});
    fake::script_task("dnrd", {0, 5});
    poll_services();
    EXPECT_EQ(fake::trace(),
              fake::Trace({"task_is_running boa", "sleep 1", "task_is_running boa",
                           "task_is_running dnrd", "sleep 1", "task_is_running dnrd"}));
}

TEST_F(Watchdog, BoaAbsentTwiceIsRestartedAndTheDnrdItKilledToo)
{
    fake::script_task("boa", {0, 0});
    fake::script_task("dnrd", {0, 0});
    poll_services();
    EXPECT_EQ(fake::trace(), join({{"task_is_running boa", "sleep 1", "task_is_running boa",
                                    "unlink var/run/boa.pid"},
                                   boa_restart,
                                   {"sleep 30", "task_is_running dnrd", "sleep 1",
                                    "task_is_running dnrd", "unlink var/run/dnrd.pid"},
                                   dnrd_restart}));
    EXPECT_EQ(fake::clock(), 34u);
}

TEST_F(Watchdog, DnrdAbsentTwiceIsRestartedAndTheWanCheckFollowsInTheSamePass)
{
    fake::script_task("dnrd", {0, 0});
    passes(1);
    EXPECT_EQ(fake::trace(),
              join({{"sleep 10", "GetSysUpTime", "task_is_running boa", "task_is_running dnrd",
                     "sleep 1", "task_is_running dnrd", "unlink var/run/dnrd.pid"},
                    dnrd_restart,
                    {"getWanLinkState 0 0"}}));
}

TEST_F(Watchdog, AServiceThatKeepsDyingIsRestartedEveryPass)
{
    fake::script_task("dnrd", {0, 0, 0, 0, 0, 0});
    passes(3);
    fake::Trace restart = join({{"task_is_running boa", "task_is_running dnrd", "sleep 1",
                                 "task_is_running dnrd", "unlink var/run/dnrd.pid"},
                                dnrd_restart,
                                {"getWanLinkState 0 0"}});
    EXPECT_EQ(fake::trace(), join({{"sleep 10", "GetSysUpTime"},
                                   restart,
                                   {"sleep 5", "GetSysUpTime"},
                                   restart,
                                   {"sleep 5", "GetSysUpTime"},
                                   restart}));
}

TEST_F(Watchdog, APassRunsUptimeActionThenServicesThenTheWanLink)
{
    fake::script_uptime({1800});
    fake::script_task("boa", {0, 0});
    fake::script_link({1});
    passes(1);
    EXPECT_EQ(
        fake::trace(),
        join({{"sleep 10", "GetSysUpTime", "system killall getdeviceinfo", "task_is_running boa",
               "sleep 1", "task_is_running boa", "unlink var/run/boa.pid"},
              boa_restart,
              {"sleep 30", "task_is_running dnrd", "getWanLinkState 0 0", "setLedLight 1 1"}}));
    EXPECT_EQ(fake::clock(), 10u + 1 + 2 + 30);
}

} // namespace
