#include "daemon/os.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

// Results are ignored on purpose: a failed command, a file already gone or a
// wait cut short by a signal are all put right by looking again next pass.

void os_sleep(unsigned seconds)
{
    (void)sleep(seconds);
}

void os_system(const char *command)
{
    (void)system(command); // NOLINT(cert-env33-c): every command line is fixed in the program
}

void os_unlink(const char *path)
{
    (void)unlink(path);
}

void os_say(const char *line)
{
    (void)puts(line);
}
