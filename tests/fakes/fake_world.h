// A recording stand-in for everything the daemon's logic touches: the device
// library and the C library calls of os/os.h. Every call lands, in order,
// in one trace of short lines ("sleep 5", "task_is_running boa",
// "_eval killall -9 boa >/dev/console 0 null"), and waits move a clock.
#ifndef MORVID_FAKE_WORLD_H
#define MORVID_FAKE_WORLD_H

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake
{

using Trace = std::vector<std::string>;

struct World {
    Trace trace;
    unsigned clock = 0; // seconds waited
    // Answers given in order; once one runs out: running, uptime 0, link up.
    std::map<std::string, std::deque<int>> tasks;
    std::deque<int> uptime;
    std::deque<int> link;
    std::map<std::string, std::string> nvram; // a key not there answers NULL
    // While set: appended to every line recorded, to show some state at
    // the moment of each call.
    std::function<std::string()> probe;
};

extern World world; // a fresh one is `world = World()`

} // namespace fake

#endif
