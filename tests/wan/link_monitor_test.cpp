// The WAN link monitor: every state and link code; the road of one event
// over whole passes is the tour's, and a guest day of them the router's
// soak, on the real daemon.
#include "fakes/daemon_test.h"

#include <optional>
#include <string>

using LinkMonitor = DaemonTest;

TEST_F(LinkMonitor, EveryStateAndLinkCode)
{
    const std::string read = "getWanLinkState 0 0";
    const fake::Trace reread = {read + " @2", "sleep 2 @2", read + " @2"};
    const fake::Trace start = {"nvram_get wan_proto @2", "setLedLight 1 0 @2", "wan_start eth0 @2"};
    const struct {
        int before;
        std::deque<int> codes; // what the reads of this pass answer
        std::optional<std::string> proto;
        fake::Trace calls; // each with the state at that moment, "@N"
        int after;
    } rows[] = {
        {0, {1}, "static", {read + " @0", "setLedLight 1 1 @0"}, 1},
        {1, {1}, "static", {read + " @1", "setLedLight 1 1 @1"}, 1},
        {2, {1, 2}, "static", reread, 2},
        {2, {1, 0}, "static", reread, 2},
        {2, {1, -1}, "static", reread, 2},
        {2, {1, 1}, "static", join({reread, {"setLedLight 1 1 @2"}}), 3},
        {3, {1}, "static", {read + " @3", "setLedLight 1 1 @3", "wan_stop eth0 @1"}, 1},
        {0, {2}, "static", {read + " @0"}, 2},
        {1, {2}, "static", join({{read + " @1"}, start}), 2},
        {2, {2}, "static", {read + " @2"}, 2},
        {3, {2}, "static", join({{read + " @3"}, start}), 2},
        // Any other code changes nothing, in any state.
        {0, {0}, "static", {read + " @0"}, 0},
        {1, {3}, "static", {read + " @1"}, 1},
        {2, {-1}, "static", {read + " @2"}, 2},
        {3, {7}, "static", {read + " @3"}, 3},
        // LED 1 goes off on a start only where the WAN is static.
        {1, {2}, "dhcp", {read + " @1", "nvram_get wan_proto @2", "wan_start eth0 @2"}, 2},
        {3, {2}, std::nullopt, {read + " @3", "nvram_get wan_proto @2", "wan_start eth0 @2"}, 2},
        {1, {2}, "Static", {read + " @1", "nvram_get wan_proto @2", "wan_start eth0 @2"}, 2},
    };
    for (const auto &row : rows) {
        SetUp();
        SCOPED_TRACE("state " + std::to_string(row.before) + ", codes " +
                     testing::PrintToString(row.codes) + ", proto " + row.proto.value_or("unset"));
        // The state shown with every call, so the order of state change,
        // LED and WAN call is checked too.
        fake::world.probe = [] { return "@" + std::to_string(g_wan_last_state); };
        if (row.proto)
            fake::world.nvram["wan_proto"] = *row.proto;
        fake::world.link = row.codes;
        g_wan_last_state = row.before;
        poll_wan_link();
        EXPECT_EQ(fake::world.trace, row.calls);
        EXPECT_EQ(g_wan_last_state, row.after);
        EXPECT_EQ(g_wan_cur_state, row.codes.back());
    }
}
