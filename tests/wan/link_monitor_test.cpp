// The WAN link monitor: every state and link code, then the road of one
// event over whole passes.
#include "fakes/daemon_test.h"

#include <optional>
#include <string>
#include <vector>

namespace
{

struct Row {
    int before;
    std::deque<int> codes; // what the reads of this pass answer
    std::optional<std::string> proto;
    fake::Trace calls; // each with the state at that moment, "@N"
    int after;
};

class LinkMonitor : public DaemonTest
{
  protected:
    void run(const std::vector<Row> &rows)
    {
        for (const Row &row : rows) {
            SetUp();
            // The state shown with every call, so the order of state change,
            // LED and WAN call is checked too.
            fake::world.probe = [] { return "@" + std::to_string(g_wan_last_state); };
            if (row.proto)
                fake::world.nvram["wan_proto"] = *row.proto;
            fake::world.link = row.codes;
            g_wan_last_state = row.before;
            poll_wan_link();
            std::string seen = "state " + std::to_string(row.before) + ", codes";
            for (int code : row.codes)
                seen += " " + std::to_string(code);
            EXPECT_EQ(fake::world.trace, row.calls)
                << seen << ", proto " << row.proto.value_or("unset");
            EXPECT_EQ(g_wan_last_state, row.after) << seen;
            EXPECT_EQ(g_wan_cur_state, row.codes.back()) << seen;
        }
    }
};

const std::string read = "getWanLinkState 0 0";

TEST_F(LinkMonitor, EveryStateAndLinkCode)
{
    const fake::Trace reread = {read + " @2", "sleep 2 @2", read + " @2"};
    const fake::Trace start = {"nvram_get wan_proto @2", "setLedLight 1 0 @2", "wan_start eth0 @2"};
    run({
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
    });
}

TEST_F(LinkMonitor, OnlyExactlyStaticTurnsTheLedOffOnLinkUp)
{
    std::vector<Row> rows;
    for (int before : {WAN_LINK_DOWN, WAN_LINK_DOWN_PENDING}) {
        for (const auto &proto : std::vector<std::optional<std::string>>{
                 "static1", "stati", "", "STATIC", "dhcp", " static", std::nullopt}) {
            rows.push_back({before,
                            {2},
                            proto,
                            {read + " @" + std::to_string(before), "nvram_get wan_proto @2",
                             "wan_start eth0 @2"},
                            2});
        }
    }
    run(rows);
}

TEST_F(LinkMonitor, CodesOtherThanDownAndUpChangeNothingInAnyState)
{
    std::vector<Row> rows;
    for (int before : {0, 1, 2, 3}) {
        for (int code : {0, 3, -1, 4, 255})
            rows.push_back(
                {before, {code}, "static", {read + " @" + std::to_string(before)}, before});
    }
    run(rows);
}

// The cable pulled after a first reading of up, and plugged back: the LED
// set in the pass that confirms the loss, the WAN stopped one pass later,
// started again (LED off first) at the first pass that reads up.
TEST_F(LinkMonitor, CableOutConfirmedOverTwoPassesThenBack)
{
    fake::world.nvram["wan_proto"] = "static";
    fake::world.link = {2, 1, 1, 1, 1, 2, 2};
    passes(6);
    EXPECT_EQ(fake::world.trace, join({quiet_pass(10),
                                       quiet_pass(5),
                                       {"sleep 2", read, "setLedLight 1 1"},
                                       quiet_pass(5),
                                       {"setLedLight 1 1", "wan_stop eth0"},
                                       quiet_pass(5),
                                       {"setLedLight 1 1"},
                                       quiet_pass(5),
                                       {"nvram_get wan_proto", "setLedLight 1 0", "wan_start eth0"},
                                       quiet_pass(5)}));
    EXPECT_EQ(fake::world.clock, 10u + 5 + 2 + 5 + 5 + 5 + 5);
}

} // namespace
