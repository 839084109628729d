#include "daemon/poll_loop.h"

#include "os/os.h"
#include "devutil/devutil.h"
#include "services/watchdog.h"
#include "wan/link_monitor.h"

struct poll_state poll_state_initial(void)
{
    return poll_state{FIRST_WAIT_S, false};
}

// getdeviceinfo is only wanted during start-up; stop it once, when the
// system has been up long enough. A restarted daemon does it again.
static void stop_devinfo_once(struct poll_state *state)
{
    if (state->devinfo_killed)
        return;
    if (GetSysUpTime() < DEVINFO_KILL_UPTIME_S)
        return;
    state->devinfo_killed = true;
    os_system("killall getdeviceinfo");
}

void poll_pass(struct poll_state *state)
{
    os_sleep(state->wait_s);
    stop_devinfo_once(state);
    poll_services();
    poll_wan_link();
    state->wait_s = PASS_WAIT_S;
}

void poll_loop(void)
{
    struct poll_state state = poll_state_initial();
    for (;;)
        poll_pass(&state);
}
