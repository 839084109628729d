#include "events.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

void event_log(const struct timespec *when, const char *source, const char *text, size_t len)
{
    int saved_errno = errno;
    struct timespec now;
    if (when == nullptr) {
        clock_gettime(CLOCK_REALTIME, &now);
        when = &now;
    }

    char line[1024];
    int head = snprintf(line, sizeof line, "%lld.%06ld %s ", static_cast<long long>(when->tv_sec),
                        when->tv_nsec / 1000, source);
    size_t used = head > 0 ? static_cast<size_t>(head) : 0;
    if (len > sizeof line - 1 - used)
        len = sizeof line - 1 - used;
    memcpy(line + used, text, len);
    used += len;
    line[used++] = '\n';

    char path[512];
    const char *sb = getenv("SB");
    int fd = -1;
    if (sb != nullptr &&
        snprintf(path, sizeof path, "%s/events", sb) < static_cast<int>(sizeof path))
        fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    (void)write(fd >= 0 ? fd : STDERR_FILENO, line, used);
    if (fd >= 0)
        close(fd);
    errno = saved_errno;
}

void event_say(const struct timespec *when, const char *source, const char *text)
{
    event_log(when, source, text, strlen(text));
}

const char *signal_abbrev(int sig, char *buf, size_t size)
{
    const char *name = sigabbrev_np(sig);
    if (name != nullptr)
        return name;
    (void)snprintf(buf, size, "%d", sig);
    return buf;
}
