#include "os/os.h"

#include <fcntl.h>
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
    // Assigned, not cast to void: glibc's _FORTIFY_SOURCE marks system()
    // warn_unused_result, which GCC does not let a cast silence. Every
    // command line is fixed in the program.
    int status = system(command); // NOLINT(cert-env33-c)
    (void)status;
}

void os_unlink(const char *path)
{
    (void)unlink(path);
}

// Started with 0, 1 or 2 closed, the daemon's next files (the kept carrier
// and /proc stat files) would take those numbers, its output would go to
// them and the signal handler's write(1) into whatever holds 1. No handler
// is set yet, so there is no EINTR; without /dev/null there is nothing
// better to do.
void os_open_missing_standard_streams(void)
{
    int fd;
    do {
        fd = open("/dev/null", O_RDWR); // not close-on-exec: they are the children's too
    } while (fd >= 0 && fd <= STDERR_FILENO);
    if (fd > STDERR_FILENO)
        (void)close(fd);
}

// Line-buffered whatever standard output is: on a pipe or a file (a
// logger, procd, a redirect) stdio would hold lines back in a full buffer,
// behind the signal handler's direct writes, and lose them when the daemon
// is killed. The buffer is ours, so stdio allocates none.
static char g_out_buf[128];

void os_line_buffered_output(void)
{
    (void)setvbuf(stdout, g_out_buf, _IOLBF, sizeof g_out_buf);
}

void os_say(const char *line)
{
    (void)puts(line);
}
