// Recording versions of the device library and of os/os.cpp: nothing
// runs, waits are virtual, answers come from fake::world.
#include "fake_world.h"

#include "os/os.h"
#include "devutil/devutil.h"

#include <cstring>

fake::World fake::world;
int g_hearbeat_is_listening;

namespace
{
using fake::world;
using std::string;
using std::to_string;

// Records the line and gives the answer.
int record(const string &line, int answer = 0)
{
    world.trace.push_back(world.probe ? line + " " + world.probe() : line);
    return answer;
}

int next(std::deque<int> &answers, int fallback)
{
    if (answers.empty())
        return fallback;
    int answer = answers.front();
    answers.pop_front();
    return answer;
}
} // namespace

void os_sleep(unsigned seconds)
{
    world.clock += record("sleep " + to_string(seconds), seconds);
}

void os_system(const char *command)
{
    record(string("system ") + command);
}

void os_unlink(const char *path)
{
    record(string("unlink ") + path);
}

void os_say(const char *line)
{
    record(string("say ") + line);
}

extern "C" int task_is_running(const char *name)
{
    return record(string("task_is_running ") + name, next(world.tasks[name], 1));
}

extern "C" int GetSysUpTime(void)
{
    return record("GetSysUpTime", next(world.uptime, 0));
}

extern "C" int getWanLinkState(long port, char *buf, int flags)
{
    // Scribble over the whole scratch buffer, as the device library may: a
    // buffer shorter than promised shows up under the address sanitizer.
    std::memset(buf, 0x5a, WAN_LINK_BUF_SIZE);
    return record("getWanLinkState " + to_string(port) + " " + to_string(flags),
                  next(world.link, WAN_LINK_UP));
}

extern "C" int setLedLight(int led, int value)
{
    return record("setLedLight " + to_string(led) + " " + to_string(value));
}

extern "C" int wan_start(const char *ifname)
{
    return record(string("wan_start ") + ifname);
}

extern "C" int wan_stop(const char *ifname)
{
    return record(string("wan_stop ") + ifname);
}

extern "C" char *nvram_get(const char *name)
{
    record(string("nvram_get ") + name);
    auto found = world.nvram.find(name);
    return found != world.nvram.end() ? found->second.data() : nullptr;
}

extern "C" int _eval(char *const argv[], const char *path, int timeout, int *ppid)
{
    string line = "_eval";
    for (char *const *arg = argv; *arg != nullptr; ++arg)
        line += string(" ") + *arg;
    return record(line + " " + (path ? path : "null") + " " + to_string(timeout) +
                  (ppid ? " ppid" : " null"));
}
