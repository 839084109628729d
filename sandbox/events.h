// The sandbox's event log, $SB/events (standard error outside a sandbox):
// one line per event, "<seconds.micros> <source> <text>", wall-clock time so
// that lines from every process of the sandbox, and from the scripts driving
// it, sort into one timeline.
#ifndef SANDBOX_EVENTS_H
#define SANDBOX_EVENTS_H

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

// Appends an event stamped now: the first `len` bytes of `text`, in a single
// O_APPEND write, so that lines of many writers never interleave.
inline void event_log(const char *source, const char *text, size_t len)
{
    int saved_errno = errno;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char line[1024];
    int head = snprintf(line, sizeof line, "%lld.%06ld %s ", static_cast<long long>(now.tv_sec),
                        now.tv_nsec / 1000, source);
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
    // An event that cannot be written shows as a miss in the story that
    // waits for it; there is nothing better to do with the error here.
    ssize_t written = write(fd >= 0 ? fd : STDERR_FILENO, line, used);
    (void)written;
    if (fd >= 0)
        close(fd);
    errno = saved_errno;
}

// The same for a whole NUL-terminated text.
inline void event_say(const char *source, const char *text)
{
    event_log(source, text, strlen(text));
}

// "TERM", "KILL" ...; the number for signals without a short name.
inline const char *signal_abbrev(int sig, char *buf, size_t size)
{
    const char *name = sigabbrev_np(sig);
    if (name != nullptr)
        return name;
    (void)snprintf(buf, size, "%d", sig);
    return buf;
}

#endif
