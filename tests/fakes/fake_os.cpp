// Recording version of daemon/os.cpp: nothing runs, waits are virtual.
#include "fake_world.h"

#include "daemon/os.h"

using fake::detail::record;

void os_sleep(unsigned seconds)
{
    record("sleep " + std::to_string(seconds));
    fake::detail::wait(seconds);
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
