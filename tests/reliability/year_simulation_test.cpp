// A year of passes (5 s apart) against random answers from the device
// library and random signals, checking after every pass what must hold
// whatever happened before. Set MORVID_SIM_SEED to replay a failure, and
// MORVID_SIM_PASSES to run shorter or longer.
#include "fakes/daemon_test.h"

#include "daemon/signals.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace
{

// What the trace of one pass shows, taken apart.
struct PassSeen {
    bool asked_uptime = false;
    bool killed_devinfo = false;
    int boa_restarts = 0;
    int dnrd_restarts = 0;
    int evals = 0;
    bool reread = false;
    bool led_on = false;
    bool led_off = false;
    bool wan_start = false;
    bool wan_stop = false;
    std::string problem; // the first thing out of place, if any
};

const std::string boa_kills_first = "_eval killall -9 boa >/dev/console 0 null";
const std::string boa_kills_last = "_eval killall -9 bpalogin >/dev/console 0 null";

PassSeen take_apart(const fake::Trace &lines, unsigned opening_wait)
{
    PassSeen seen;
    auto fail = [&](const std::string &what) {
        if (seen.problem.empty())
            seen.problem = what;
    };
    if (lines.empty() || lines[0] != "sleep " + std::to_string(opening_wait))
        fail("the pass does not open with its wait");
    bool wan_reached = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        const std::string next = i + 1 < lines.size() ? lines[i + 1] : "";
        if (line == "GetSysUpTime") {
            seen.asked_uptime = true;
        } else if (line == "system killall getdeviceinfo") {
            seen.killed_devinfo = true;
        } else if (line == "unlink var/run/boa.pid") {
            if (next != boa_kills_first)
                fail("boa's pid file removed, but no kill list follows");
        } else if (line == "say run_boa") {
            ++seen.boa_restarts;
            if (next != "sleep 30")
                fail("no 30-s wait after a boa restart");
        } else if (line == "say run_dnrd") {
            ++seen.dnrd_restarts;
        } else if (line.rfind("_eval ", 0) == 0) {
            ++seen.evals;
        } else if (line == "system x") {
            if (lines[i - 1] != boa_kills_last)
                fail("x runs before the kill list is through");
        } else if (line.rfind("task_is_running", 0) == 0) {
            if (wan_reached)
                fail("a service check after the WAN check");
        } else if (line == "getWanLinkState 0 0") {
            wan_reached = true;
        } else if (line == "sleep 2" && wan_reached) {
            seen.reread = true;
        } else if (line == "setLedLight 1 1") {
            seen.led_on = true;
        } else if (line == "setLedLight 1 0") {
            seen.led_off = true;
            if (next != "wan_start eth0")
                fail("LED off without the WAN start right after");
        } else if (line == "wan_start eth0") {
            seen.wan_start = true;
        } else if (line == "wan_stop eth0") {
            seen.wan_stop = true;
        }
    }
    if (seen.killed_devinfo && !seen.asked_uptime)
        fail("getdeviceinfo stopped without asking for uptime");
    if (!wan_reached)
        fail("no WAN check");
    return seen;
}

// The last pass that read the link as down or up, and what came of it.
enum class LastLink { none, up, flap, down, pending };

unsigned env_or(const char *name, unsigned fallback)
{
    const char *text = std::getenv(name);
    return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : fallback;
}

class YearSimulation : public DaemonTest
{
  protected:
    void SetUp() override
    {
        DaemonTest::SetUp();
        for (size_t i = 0; i < std::size(sigs); ++i)
            sigaction(sigs[i], nullptr, &saved[i]);
        set_signal_dispositions();
        real_stdout = dup(STDOUT_FILENO);
        null_out = open("/dev/null", O_WRONLY);
    }

    void TearDown() override
    {
        close(real_stdout);
        close(null_out);
        for (size_t i = 0; i < std::size(sigs); ++i)
            sigaction(sigs[i], &saved[i], nullptr);
    }

    const int sigs[3] = {SIGUSR1, SIGUSR2, SIGHUP};
    struct sigaction saved[3] = {};
    // The handler logs every signal: a year of them goes nowhere, while
    // what the test itself reports still shows.
    void quiet_raise(int sig)
    {
        dup2(null_out, STDOUT_FILENO);
        raise(sig);
        dup2(real_stdout, STDOUT_FILENO);
    }

    int real_stdout = -1;
    int null_out = -1;
};

TEST_F(YearSimulation, InvariantsHoldAfterEveryPass)
{
    const unsigned seed = env_or("MORVID_SIM_SEED", 20261206);
    const unsigned total = env_or("MORVID_SIM_PASSES", 365u * 24 * 3600 / PASS_WAIT_S);
    std::mt19937 random(seed);
    auto chance = [&](unsigned percent) { return random() % 1000 < percent * 10; };
    auto per_mille = [&](unsigned n) { return random() % 1000 < n; };

    const char *const protos[] = {"static", "dhcp", "static1", "stati", ""};
    const int odd_codes[] = {0, 3, -1, 4, -22};
    const int signals[] = {SIGUSR1, SIGUSR2, SIGHUP};

    int flag_expected = g_hearbeat_is_listening = 0;
    fake::set_on_sleep([&](unsigned) {
        if (!per_mille(7))
            return;
        int sig = signals[random() % 3];
        quiet_raise(sig);
        if (sig != SIGHUP)
            flag_expected = sig == SIGUSR1 ? 1 : 0;
    });

    bool devinfo_done = false;
    bool link_up = true;
    LastLink last = LastLink::none;
    int boot_offset = static_cast<int>(random() % 4000);
    for (unsigned pass = 0; pass < total; ++pass) {
        // What the world answers during this pass.
        int uptime = per_mille(5) ? static_cast<int>(random()) // any int, negative too
                                  : boot_offset + static_cast<int>(fake::clock());
        int boa[2] = {per_mille(5) ? 0 : 1, chance(50) ? 0 : 1};
        int dnrd[2] = {per_mille(5) ? 0 : 1, chance(50) ? 0 : 1};
        if (per_mille(20))
            link_up = !link_up;
        int first = per_mille(30) ? odd_codes[random() % 5] : (link_up ? 2 : 1);
        int reread = chance(70) ? first : (chance(50) ? 2 : odd_codes[random() % 5]);
        bool has_proto = !per_mille(100);
        std::string proto = protos[random() % 5];

        fake::clear_trace();
        fake::script_uptime({uptime});
        fake::script_task("boa", {boa[0], boa[1]});
        fake::script_task("dnrd", {dnrd[0], dnrd[1]});
        fake::script_link({first, reread});
        fake::set_nvram("wan_proto", proto, has_proto);

        unsigned opening_wait = state.wait_s;
        poll_pass(&state);
        PassSeen seen = take_apart(fake::trace(), opening_wait);

        // Every expectation below holds for any history; the first that
        // breaks names the seed and pass to replay.
        std::string where = "seed " + std::to_string(seed) + ", pass " + std::to_string(pass);
        ASSERT_EQ(seen.problem, "") << where;
        ASSERT_EQ(seen.asked_uptime, !devinfo_done) << where;
        ASSERT_EQ(seen.killed_devinfo, !devinfo_done && uptime >= DEVINFO_KILL_UPTIME_S) << where;
        devinfo_done = devinfo_done || seen.killed_devinfo;

        int boa_restarts = boa[0] == 0 && boa[1] == 0 ? 1 : 0;
        int dnrd_restarts = dnrd[0] == 0 && dnrd[1] == 0 ? 1 : 0;
        ASSERT_EQ(seen.boa_restarts, boa_restarts) << where;
        ASSERT_EQ(seen.dnrd_restarts, dnrd_restarts) << where;
        ASSERT_EQ(seen.evals, 14 * boa_restarts + dnrd_restarts) << where;

        bool down = first == WAN_LINK_DOWN;
        bool up = first == WAN_LINK_UP;
        bool rereads = down && (last == LastLink::up || last == LastLink::flap);
        bool down_held = down && (!rereads || reread == WAN_LINK_DOWN);
        bool starts = up && (last == LastLink::down || last == LastLink::pending);
        ASSERT_EQ(seen.reread, rereads) << where;
        ASSERT_EQ(seen.led_on, down_held) << where;
        ASSERT_EQ(seen.wan_stop, down && last == LastLink::pending) << where;
        ASSERT_EQ(seen.wan_start, starts) << where;
        ASSERT_EQ(seen.led_off, starts && has_proto && proto == "static") << where;
        ASSERT_EQ(g_hearbeat_is_listening, flag_expected) << where;
        ASSERT_EQ(state.wait_s, static_cast<unsigned>(PASS_WAIT_S)) << where;

        if (up)
            last = LastLink::up;
        else if (down && rereads)
            last = down_held ? LastLink::pending : LastLink::flap;
        else if (down)
            last = LastLink::down;
    }
}

} // namespace
