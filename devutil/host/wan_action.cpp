#include "devutil/host/host.h"

#include <unistd.h>

int host_wan_action(const char *action_path, const char *console, const char *ifname,
                    const char *verb)
{
    // A NULL ifname would end the argument vector early.
    if (ifname == nullptr)
        return -1;
    // A device without its action simply has no WAN to bring up or down.
    if (access(action_path, X_OK) != 0)
        return -1;
    // The vector is not const-qualified for exec's sake; it is only read.
    char *argv[] = {const_cast<char *>(action_path), const_cast<char *>(ifname),
                    const_cast<char *>(verb), nullptr};
    return host_run(argv, console, true);
}

int wan_start(const char *ifname)
{
    return host_wan_action(HOST_WAN_ACTION, HOST_CONSOLE, ifname, "start");
}

int wan_stop(const char *ifname)
{
    return host_wan_action(HOST_WAN_ACTION, HOST_CONSOLE, ifname, "stop");
}
