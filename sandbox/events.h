// The sandbox's event log, $SB/events (standard error outside a sandbox): a line per event,
// "<seconds.micros> <source> <text>", on the wall clock so that all writers' lines sort as one.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

// Where events go instead of $SB/events, when set: the guest's serial port.
inline int g_event_fd = -1;

// Appends `len` bytes of `text`, stamped now, in one O_APPEND write: no two writers interleave.
inline void event_log(const char *source, const char *text, size_t len)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char line[1024];
    int head = snprintf(line, sizeof line, "%lld.%06ld %s ", static_cast<long long>(now.tv_sec),
                        now.tv_nsec / 1000, source);
    size_t used = head > 0 ? static_cast<size_t>(head) : 0;
    len = len < sizeof line - 1 - used ? len : sizeof line - 1 - used;
    memcpy(line + used, text, len);
    used += len;
    line[used++] = '\n';
    char path[512];
    const char *sb = getenv("SB");
    int fd = -1;
    if (g_event_fd < 0 && sb != nullptr &&
        snprintf(path, sizeof path, "%s/events", sb) < static_cast<int>(sizeof path))
        fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    // An event that cannot be written shows as a miss in the story that waits for it.
    int to = fd >= 0 ? fd : g_event_fd >= 0 ? g_event_fd : STDERR_FILENO;
    (void)!write(to, line, used);
    if (fd >= 0)
        close(fd);
}

// The same for a whole NUL-terminated text.
inline void event_say(const char *source, const char *text)
{
    event_log(source, text, strlen(text));
}

// A small file's text up to its first line end ("" if none); whether it had one.
inline bool first_line(const char *path, char *out, size_t size)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    ssize_t got = fd >= 0 ? read(fd, out, size - 1) : 0;
    if (fd >= 0)
        close(fd);
    out[got > 0 ? got : 0] = '\0';
    bool ended = strchr(out, '\n') != nullptr;
    out[strcspn(out, "\n")] = '\0';
    return ended;
}

// One line in a file of its own (a pid file, the console's name).
inline bool write_line(const char *path, const char *text)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool written = fd >= 0 && dprintf(fd, "%s\n", text) >= 0;
    return fd >= 0 && close(fd) == 0 && written;
}

// "TERM", "KILL"... on any C library (musl and uClibc-ng have no sigabbrev_np); else the number.
inline const char *signal_abbrev(int sig, char *buf, size_t size)
{
    static const struct {
        int sig;
        const char *name;
    } names[] = {
        {SIGHUP, "HUP"},   {SIGINT, "INT"},   {SIGQUIT, "QUIT"},   {SIGABRT, "ABRT"},
        {SIGKILL, "KILL"}, {SIGSEGV, "SEGV"}, {SIGPIPE, "PIPE"},   {SIGALRM, "ALRM"},
        {SIGTERM, "TERM"}, {SIGUSR1, "USR1"}, {SIGUSR2, "USR2"},   {SIGCHLD, "CHLD"},
        {SIGCONT, "CONT"}, {SIGSTOP, "STOP"}, {SIGTSTP, "TSTP"},   {SIGTTIN, "TTIN"},
        {SIGTTOU, "TTOU"}, {SIGURG, "URG"},   {SIGWINCH, "WINCH"}, {SIGBUS, "BUS"},
        {SIGFPE, "FPE"},   {SIGILL, "ILL"},   {SIGTRAP, "TRAP"},   {SIGSYS, "SYS"},
    };
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (names[i].sig == sig)
            return names[i].name;
    (void)snprintf(buf, size, "%d", sig);
    return buf;
}
