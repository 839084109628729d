// Base of the daemon's unit tests: a fresh recording world and a freshly
// started daemon's state for every test, and the words to spell out the
// trace a story must leave.
#ifndef MORVID_DAEMON_TEST_H
#define MORVID_DAEMON_TEST_H

#include "fakes/fake_world.h"

#include "daemon/poll_loop.h"
#include "devutil/devutil.h"
#include "wan/link_monitor.h"

#include <gtest/gtest.h>

struct DaemonTest : ::testing::Test {
    void SetUp() override
    {
        fake::world = fake::World();
        g_wan_last_state = WAN_STATE_NONE;
        g_wan_cur_state = WAN_STATE_NONE;
        state = poll_state_initial();
    }

    void passes(int count)
    {
        for (int i = 0; i < count; ++i)
            poll_pass(&state);
    }

    poll_state state = poll_state_initial();
};

// Trace pieces joined in order.
inline fake::Trace join(std::initializer_list<fake::Trace> parts)
{
    fake::Trace lines;
    for (const auto &part : parts)
        lines.insert(lines.end(), part.begin(), part.end());
    return lines;
}

// A pass opening with its wait: the uptime action's look (while it has not
// fired), both services running and the link read, as it was.
inline fake::Trace quiet_pass(unsigned wait, bool asks_uptime = true)
{
    fake::Trace lines = {"sleep " + std::to_string(wait)};
    if (asks_uptime)
        lines.push_back("GetSysUpTime");
    return join({lines, {"task_is_running boa", "task_is_running dnrd", "getWanLinkState 0 0"}});
}

#endif
