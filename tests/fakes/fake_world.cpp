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

void record(const std::string &line)
{
    world.trace.push_back(world.probe ? line + " " + world.probe() : line);
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
    record("sleep " + std::to_string(seconds));
    if (world.on_sleep)
        world.on_sleep(seconds);
    world.clock += seconds;
}

void os_system(const char *command)
{
    record(std::string("system ") + command);
}

void os_unlink(const char *path)
{
    record(std::string("unlink ") + path);
}

void os_say(const char *line)
{
    record(std::string("say ") + line);
}

extern "C" int task_is_running(const char *name)
{
    record(std::string("task_is_running ") + name);
    return next(world.tasks[name], 1);
}

extern "C" int GetSysUpTime(void)
{
    record("GetSysUpTime");
    return next(world.uptime, 0);
}

extern "C" int getWanLinkState(long port, char *buf, int flags)
{
    record("getWanLinkState " + std::to_string(port) + " " + std::to_string(flags));
    // Scribble over the whole scratch buffer, as the device library may: a
    // buffer shorter than promised shows up under the address sanitizer.
    std::memset(buf, 0x5a, WAN_LINK_BUF_SIZE);
    return next(world.link, WAN_LINK_UP);
}

extern "C" int setLedLight(int led, int value)
{
    record("setLedLight " + std::to_string(led) + " " + std::to_string(value));
    return 0;
}

extern "C" int wan_start(const char *ifname)
{
    record(std::string("wan_start ") + ifname);
    return 0;
}

extern "C" int wan_stop(const char *ifname)
{
    record(std::string("wan_stop ") + ifname);
    return 0;
}

extern "C" char *nvram_get(const char *name)
{
    record(std::string("nvram_get ") + name);
    auto found = world.nvram.find(name);
    return found != world.nvram.end() ? found->second.data() : nullptr;
}

extern "C" int _eval(char *const argv[], const char *path, int timeout, int *ppid)
{
    std::string line = "_eval";
    for (char *const *arg = argv; *arg != nullptr; ++arg)
        line += std::string(" ") + *arg;
    line += std::string(" ") + (path != nullptr ? path : "null");
    line += " " + std::to_string(timeout) + (ppid != nullptr ? " ppid" : " null");
    record(line);
    return 0;
}
