// A year of passes (5 s apart) against random answers from the device
// library, checking after every pass what must hold whatever happened
// before (signals: signals_test). Set MORVID_SIM_SEED to replay a failure, and
// MORVID_SIM_PASSES to run shorter or longer.
#include "fakes/daemon_test.h"

#include <algorithm>
#include <cstdlib>
#include <random>

namespace
{

unsigned env_or(const char *name, unsigned fallback)
{
    const char *text = std::getenv(name);
    return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : fallback;
}

// The last pass that read the link as down or up, and what came of it.
enum class LastLink { none, up, flap, down, pending };

using YearSimulation = DaemonTest;

TEST_F(YearSimulation, InvariantsHoldAfterEveryPass)
{
    const unsigned seed = env_or("MORVID_SIM_SEED", 20261206);
    const unsigned total = env_or("MORVID_SIM_PASSES", 365u * 24 * 3600 / PASS_WAIT_S);
    std::mt19937 random(seed);
    auto per_mille = [&](unsigned n) { return random() % 1000 < n; };
    const char *const protos[] = {"static", "dhcp", "static1", "stati", ""};
    const int odd_codes[] = {0, 3, -1, 4, -22};

    bool devinfo_done = false, link_up = true;
    LastLink last = LastLink::none;
    int boot_offset = static_cast<int>(random() % 4000);
    for (unsigned pass = 0; pass < total; ++pass) {
        // What the world answers during this pass.
        int uptime = per_mille(5) ? static_cast<int>(random()) // any int, negative too
                                  : boot_offset + static_cast<int>(fake::world.clock);
        int boa[2] = {per_mille(5) ? 0 : 1, per_mille(500) ? 0 : 1};
        int dnrd[2] = {per_mille(5) ? 0 : 1, per_mille(500) ? 0 : 1};
        if (per_mille(20))
            link_up = !link_up;
        int first = per_mille(30) ? odd_codes[random() % 5] : (link_up ? 2 : 1);
        int reread = per_mille(700) ? first : per_mille(500) ? 2 : odd_codes[random() % 5];
        bool has_proto = !per_mille(100);
        std::string proto = protos[random() % 5];

        fake::world.trace.clear();
        fake::world.uptime = {uptime};
        fake::world.tasks = {{"boa", {boa[0], boa[1]}}, {"dnrd", {dnrd[0], dnrd[1]}}};
        fake::world.link = {first, reread};
        fake::world.nvram.erase("wan_proto");
        if (has_proto)
            fake::world.nvram["wan_proto"] = proto;
        unsigned opening_wait = state.wait_s;
        poll_pass(&state);

        const fake::Trace &trace = fake::world.trace;
        auto count = [&](const std::string &line) {
            return std::count(trace.begin(), trace.end(), line);
        };
        auto at = [&](const std::string &line) {
            return std::find(trace.begin(), trace.end(), line);
        };
        auto evals = std::count_if(trace.begin(), trace.end(), [](const std::string &line) {
            return line.rfind("_eval ", 0) == 0;
        });
        bool fires = !devinfo_done && uptime >= DEVINFO_KILL_UPTIME_S;
        int boa_restarts = boa[0] == 0 && boa[1] == 0, dnrd_restarts = dnrd[0] == 0 && dnrd[1] == 0;
        bool down = first == WAN_LINK_DOWN, up = first == WAN_LINK_UP;
        bool rereads = down && (last == LastLink::up || last == LastLink::flap);
        bool down_held = down && (!rereads || reread == WAN_LINK_DOWN);
        bool starts = up && (last == LastLink::down || last == LastLink::pending);
        bool led_off = starts && has_proto && proto == "static";

        // Every expectation below holds for any history; the first that
        // breaks names the seed and pass to replay.
        std::string where = "seed " + std::to_string(seed) + ", pass " + std::to_string(pass);
        ASSERT_EQ(trace.front(), "sleep " + std::to_string(opening_wait)) << where;
        ASSERT_EQ(count("GetSysUpTime"), !devinfo_done) << where;
        ASSERT_EQ(count("system killall getdeviceinfo"), fires) << where;
        ASSERT_EQ(count("say run_boa"), boa_restarts) << where;
        ASSERT_EQ(count("sleep 30"), boa_restarts) << where;
        ASSERT_EQ(count("say run_dnrd"), dnrd_restarts) << where;
        ASSERT_EQ(evals, 14 * boa_restarts + dnrd_restarts) << where;
        // Services before the link, which is read once or re-read once.
        ASSERT_LT(at("task_is_running dnrd"), at("getWanLinkState 0 0")) << where;
        ASSERT_EQ(count("getWanLinkState 0 0"), 1 + rereads) << where;
        ASSERT_EQ(count("setLedLight 1 1"), down_held) << where;
        ASSERT_EQ(count("wan_stop eth0"), down && last == LastLink::pending) << where;
        ASSERT_EQ(count("wan_start eth0"), starts) << where;
        ASSERT_EQ(count("setLedLight 1 0"), led_off) << where;
        if (led_off) {
            ASSERT_EQ(at("setLedLight 1 0") + 1, at("wan_start eth0")) << where;
        }
        ASSERT_EQ(state.wait_s, static_cast<unsigned>(PASS_WAIT_S)) << where;

        devinfo_done = devinfo_done || fires;
        if (up)
            last = LastLink::up;
        else if (down && rereads)
            last = down_held ? LastLink::pending : LastLink::flap;
        else if (down)
            last = LastLink::down;
    }
}

} // namespace
