#include "services/watchdog.h"

#include "os/os.h"
#include "devutil/devutil.h"
#include "services/restart.h"

struct service {
    const char *name;     /* as the kernel knows the process */
    const char *pid_file; /* relative to our working directory, which is "/" */
    void (*restart)(void);
    unsigned settle_s; /* waited after a restart */
};

static const struct service SERVICES[] = {
    {"boa", "var/run/boa.pid", run_boa, 30},
    {"dnrd", "var/run/dnrd.pid", run_dnrd, 0},
};

// A gap shorter than a second (a service restarting itself) is tolerated.
static bool absent_twice(const char *name)
{
    if (task_is_running(name) != 0)
        return false;
    os_sleep(1);
    return task_is_running(name) == 0;
}

void poll_services(void)
{
    for (const struct service &service : SERVICES) {
        if (!absent_twice(service.name))
            continue;
        os_unlink(service.pid_file);
        service.restart();
        if (service.settle_s != 0)
            os_sleep(service.settle_s);
    }
}
