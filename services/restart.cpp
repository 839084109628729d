#include "services/restart.h"

#include "os/os.h"
#include "devutil/devutil.h"
#include "services/kill_list.h"

// _eval returns only once killall has finished, so a service started right
// after this is never hit by it. Its output goes to the console.
static void kill_hard(const char *name)
{
    // _eval's vector is not const-qualified, but it only reads it.
    char *argv[] = {const_cast<char *>("killall"), const_cast<char *>("-9"),
                    const_cast<char *>(name), nullptr};
    (void)_eval(argv, ">/dev/console", 0, nullptr);
}

void run_boa(void)
{
    for (unsigned i = 0; i < KILL_LIST_LEN; ++i)
        kill_hard(KILL_LIST[i]);
    // "x" is a program of the device's firmware, not ours: run between the
    // kills and the new boa, whatever it does, and its result is none of
    // our business.
    os_system("x");
    os_sleep(2);
    os_system("/bin/boa -c /etc &");
    os_say("run_boa");
}

void run_dnrd(void)
{
    kill_hard("dnrd");
    os_system("/bin/dnrd &");
    os_say("run_dnrd");
}
