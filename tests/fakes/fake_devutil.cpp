// Recording version of the device library with scripted answers.
#include "fake_world.h"

#include "devutil/devutil.h"

#include <cstring>

using fake::detail::record;

int g_hearbeat_is_listening;

extern "C" int task_is_running(const char *name)
{
    record(std::string("task_is_running ") + name);
    return fake::detail::next_task_answer(name);
}

extern "C" int GetSysUpTime(void)
{
    record("GetSysUpTime");
    return fake::detail::next_uptime_answer();
}

extern "C" int getWanLinkState(long port, char *buf, int flags)
{
    record("getWanLinkState " + std::to_string(port) + " " + std::to_string(flags));
    // Scribble over the whole scratch buffer, as the device library may: a
    // buffer shorter than promised shows up under the address sanitizer.
    std::memset(buf, 0x5a, WAN_LINK_BUF_SIZE);
    return fake::detail::next_link_answer();
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
    return fake::detail::nvram_value(name);
}

extern "C" int _eval(char *const argv[], const char *path, int timeout, int *ppid)
{
    std::string line = "_eval";
    for (char *const *arg = argv; *arg != nullptr; ++arg)
        line += std::string(" ") + *arg;
    line += std::string(" ") + (path != nullptr ? path : "null");
    line += " " + std::to_string(timeout);
    line += ppid != nullptr ? " ppid" : " null";
    record(line);
    return 0;
}
