// The service watchdog and the restart procedures.
#include "fakes/daemon_test.h"

#include "services/kill_list.h"
#include "services/watchdog.h"

using Watchdog = DaemonTest;

const fake::Trace dnrd_restart = {"unlink var/run/dnrd.pid",
                                  "_eval killall -9 dnrd >/dev/console 0 null",
                                  "system /bin/dnrd &", "say run_dnrd"};

TEST_F(Watchdog, AServiceAbsentTwiceOneSecondApartIsRestarted)
{
    const fake::Trace both = {"task_is_running boa", "task_is_running dnrd"};
    const fake::Trace recheck = {"sleep 1", "task_is_running dnrd"};
    const struct {
        std::deque<int> boa, dnrd;
        fake::Trace calls;
    } cases[] = {
        {{1}, {7}, both},
        {{0, 1},
         {0, 5},
         {"task_is_running boa", "sleep 1", "task_is_running boa", "task_is_running dnrd",
          "sleep 1", "task_is_running dnrd"}},
        {{1}, {0, 0}, join({both, recheck, dnrd_restart})},
    };
    for (const auto &c : cases) {
        SetUp();
        fake::world.tasks = {{"boa", c.boa}, {"dnrd", c.dnrd}};
        poll_services();
        EXPECT_EQ(fake::world.trace, c.calls);
    }
}

// A boa restart kills the whole list, dnrd with it, so the dnrd check of the
// same pass, after the 30-s wait, restarts dnrd too; then the WAN link.
TEST_F(Watchdog, APassRunsUptimeActionThenServicesThenTheWanLink)
{
    fake::world.uptime = {1800};
    fake::world.tasks = {{"boa", {0, 0}}, {"dnrd", {0, 0}}};
    fake::world.link = {1};
    passes(1);
    fake::Trace expected = {
        "sleep 10", "GetSysUpTime",        "system killall getdeviceinfo", "task_is_running boa",
        "sleep 1",  "task_is_running boa", "unlink var/run/boa.pid"};
    for (const char *name : std::vector<const char *>(KILL_LIST, KILL_LIST + KILL_LIST_LEN))
        expected.push_back(std::string("_eval killall -9 ") + name + " >/dev/console 0 null");
    expected = join({expected,
                     {"system x", "sleep 2", "system /bin/boa -c /etc &", "say run_boa", "sleep 30",
                      "task_is_running dnrd", "sleep 1", "task_is_running dnrd"},
                     dnrd_restart,
                     {"getWanLinkState 0 0", "setLedLight 1 1"}});
    EXPECT_EQ(fake::world.trace, expected);
    EXPECT_EQ(fake::world.clock, 10u + 1 + 2 + 30 + 1);
}
