// The WAN link monitor: every transition, then stories over whole passes.
#include "fakes/daemon_test.h"

#include <optional>
#include <string>
#include <vector>

namespace
{

class LinkMonitor : public DaemonTest
{
  protected:
    void SetUp() override
    {
        DaemonTest::SetUp();
        // Every call shows the monitor's state at that moment, so the order
        // of state change, LED and WAN call is part of what is checked.
        fake::set_probe([] { return "@" + std::to_string(g_wan_last_state); });
    }
};

struct Row {
    int before;
    std::vector<int> codes; // what the reads of this pass answer
    std::optional<std::string> proto;
    fake::Trace calls;
    int after;
};

std::string describe(const Row &row)
{
    std::string text = "state " + std::to_string(row.before) + ", codes";
    for (int code : row.codes)
        text += " " + std::to_string(code);
    return text + ", wan_proto " + (row.proto ? "\"" + *row.proto + "\"" : "unset");
}

void run_rows(const std::vector<Row> &rows)
{
    for (const Row &row : rows) {
        SCOPED_TRACE(describe(row));
        fake::reset();
        fake::set_probe([] { return "@" + std::to_string(g_wan_last_state); });
        if (row.proto)
            fake::set_nvram("wan_proto", *row.proto);
        g_wan_last_state = row.before;
        if (row.codes.size() == 1)
            fake::script_link({row.codes[0]});
        else
            fake::script_link({row.codes[0], row.codes[1]});

        poll_wan_link();

        EXPECT_EQ(fake::trace(), row.calls);
        EXPECT_EQ(g_wan_last_state, row.after);
        EXPECT_EQ(g_wan_cur_state, row.codes.back());
    }
}

TEST_F(LinkMonitor, EveryStateAndLinkCode)
{
    const std::string read = "getWanLinkState 0 0";
    const std::optional<std::string> unset;
    run_rows({
        {0, {1}, "static", {read + " @0", "setLedLight 1 1 @0"}, 1},
        {1, {1}, "static", {read + " @1", "setLedLight 1 1 @1"}, 1},
        {2, {1, 2}, "static", {read + " @2", "sleep 2 @2", read + " @2"}, 2},
        {2, {1, 0}, "static", {read + " @2", "sleep 2 @2", read + " @2"}, 2},
        {2, {1, -1}, "static", {read + " @2", "sleep 2 @2", read + " @2"}, 2},
        {2, {1, 1}, "static", {read + " @2", "sleep 2 @2", read + " @2", "setLedLight 1 1 @2"}, 3},
        {3, {1}, "static", {read + " @3", "setLedLight 1 1 @3", "wan_stop eth0 @1"}, 1},
        {0, {2}, "static", {read + " @0"}, 2},
        {1,
         {2},
         "static",
         {read + " @1", "nvram_get wan_proto @2", "setLedLight 1 0 @2", "wan_start eth0 @2"},
         2},
        {2, {2}, "static", {read + " @2"}, 2},
        {3,
         {2},
         "static",
         {read + " @3", "nvram_get wan_proto @2", "setLedLight 1 0 @2", "wan_start eth0 @2"},
         2},
    });
}

TEST_F(LinkMonitor, OnlyExactlyStaticTurnsTheLedOffOnLinkUp)
{
    const std::optional<std::string> protos[] = {"static1", "stati",   "",          "STATIC",
                                                 "dhcp",    " static", std::nullopt};
    std::vector<Row> rows;
    for (int before : {WAN_LINK_DOWN, WAN_LINK_DOWN_PENDING}) {
        for (const auto &proto : protos) {
            std::string at = " @" + std::to_string(before);
            rows.push_back(
                {before,
                 {2},
                 proto,
                 {"getWanLinkState 0 0" + at, "nvram_get wan_proto @2", "wan_start eth0 @2"},
                 2});
        }
    }
    run_rows(rows);
}

TEST_F(LinkMonitor, CodesOtherThanDownAndUpChangeNothingInAnyState)
{
    std::vector<Row> rows;
    for (int before : {0, 1, 2, 3}) {
        for (int code : {0, 3, -1, 4, 255}) {
            rows.push_back({before,
                            {code},
                            "static",
                            {"getWanLinkState 0 0 @" + std::to_string(before)},
                            before});
        }
    }
    run_rows(rows);
}

// Stories over whole passes, with the default answers: services running,
// uptime far from the one-shot action.

using LinkStory = DaemonTest;

fake::Trace head(unsigned wait)
{
    return {"sleep " + std::to_string(wait), "GetSysUpTime", "task_is_running boa",
            "task_is_running dnrd", "getWanLinkState 0 0"};
}

TEST_F(LinkStory, CableOutConfirmedOverTwoPassesThenBack)
{
    fake::set_nvram("wan_proto", "static");
    fake::script_link({2, 1, 1, 1, 1, 2, 2});
    passes(6);
    EXPECT_EQ(fake::trace(), join({head(10),
                                   head(5),
                                   {"sleep 2", "getWanLinkState 0 0", "setLedLight 1 1"},
                                   head(5),
                                   {"setLedLight 1 1", "wan_stop eth0"},
                                   head(5),
                                   {"setLedLight 1 1"},
                                   head(5),
                                   {"nvram_get wan_proto", "setLedLight 1 0", "wan_start eth0"},
                                   head(5)}));
    // Only the pass that re-read took longer.
    EXPECT_EQ(fake::clock(), 10u + 5 + 2 + 5 + 5 + 5 + 5);
}

TEST_F(LinkStory, FlapShorterThanTheRereadDoesNothing)
{
    fake::script_link({2, 1, 2, 2});
    passes(3);
    EXPECT_EQ(fake::trace(),
              join({head(10), head(5), {"sleep 2", "getWanLinkState 0 0"}, head(5)}));
    EXPECT_EQ(g_wan_last_state, WAN_LINK_UP);
}

TEST_F(LinkStory, LinkBackBeforeTheStopStillStartsTheConnection)
{
    fake::set_nvram("wan_proto", "dhcp");
    fake::script_link({2, 1, 1, 2});
    passes(3);
    EXPECT_EQ(fake::trace(), join({head(10),
                                   head(5),
                                   {"sleep 2", "getWanLinkState 0 0", "setLedLight 1 1"},
                                   head(5),
                                   {"nvram_get wan_proto", "wan_start eth0"}}));
}

TEST_F(LinkStory, DownAtStartLightsTheLedEveryPassButNeverStops)
{
    fake::script_link({1, 1, 1});
    passes(3);
    EXPECT_EQ(fake::trace(), join({head(10),
                                   {"setLedLight 1 1"},
                                   head(5),
                                   {"setLedLight 1 1"},
                                   head(5),
                                   {"setLedLight 1 1"}}));
}

TEST_F(LinkStory, ErrorReadingsDoNotLoseAPendingLoss)
{
    fake::script_link({2, 1, 1, -1, 0, 1});
    passes(5);
    EXPECT_EQ(fake::trace(), join({head(10),
                                   head(5),
                                   {"sleep 2", "getWanLinkState 0 0", "setLedLight 1 1"},
                                   head(5),
                                   head(5),
                                   head(5),
                                   {"setLedLight 1 1", "wan_stop eth0"}}));
}

} // namespace
