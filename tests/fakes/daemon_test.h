// Base of the daemon's unit tests: a fresh recording world and a freshly
// started daemon's state for every test, and the words to script a story
// and spell out the trace it must leave.
#ifndef MORVID_DAEMON_TEST_H
#define MORVID_DAEMON_TEST_H

#include "fakes/fake_world.h"

#include "daemon/poll_loop.h"
#include "devutil/devutil.h"
#include "wan/link_monitor.h"

#include <gtest/gtest.h>

class DaemonTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        fake::reset();
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

// What follows the uptime action in a pass where both services run and the
// link reads up, as it was.
inline const fake::Trace quiet_rest = {"task_is_running boa", "task_is_running dnrd",
                                       "getWanLinkState 0 0"};

// A whole quiet pass after the given head (its wait and uptime action).
inline fake::Trace pass(fake::Trace head)
{
    return join({head, quiet_rest});
}

#endif
