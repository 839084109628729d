#include "daemon/pid_file.h"

#include "daemon/decimal.h"

#include <fcntl.h>
#include <unistd.h>

static const char PID_FILE[] = "/var/run/morvid.pid";

void write_pid_file(void)
{
    write_pid_file_to(PID_FILE);
}

// What fopen(path, "w") and fprintf("%d\n") would do, without the heap
// allocation of a FILE: created or truncated, 0666 less the umask.
void write_pid_file_to(const char *path)
{
    char line[DECIMAL_MAX + 1];
    char *end = put_decimal(line, static_cast<int>(getpid()));
    *end++ = '\n';

    // No handled signal can arrive yet (dispositions come after this), so
    // there is no EINTR to retry. A missing directory or read-only file
    // system just means running without a pid file.
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    // A failed or short write (a full file system) is like a failed open:
    // morvid runs on without a usable pid file and says nothing.
    ssize_t written = write(fd, line, static_cast<size_t>(end - line));
    (void)written;
    (void)close(fd);
}
