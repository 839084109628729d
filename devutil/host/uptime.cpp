#include "devutil/host/host.h"

#include <limits.h>

int host_uptime(clockid_t clock)
{
    struct timespec now;
    if (clock_gettime(clock, &now) != 0)
        return -1;
    return now.tv_sec > INT_MAX ? INT_MAX : static_cast<int>(now.tv_sec);
}

// CLOCK_BOOTTIME, unlike CLOCK_MONOTONIC, goes on counting while suspended.
int GetSysUpTime(void)
{
    return host_uptime(CLOCK_BOOTTIME);
}
