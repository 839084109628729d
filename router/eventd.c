/* The guest's end of the router's event log (router/run). It stamps what
   happens in the guest on the guest's own clock and sends it out of the
   second serial port, a line per event in the sandbox's vocabulary:
   - lines written to the FIFO $SB/events (the stand-ins, x, the boot,
     the tour's commands), stamped by their writers;
   - writes to /dev/console, taken over with TIOCCONS as bootlogd does and
     passed on to the serial console: morvid's own lines as "out", the rest
     (killall, the WAN action) as "console", for they share the device;
   - in /var/run, through one inotify queue so that LED 1 and the WAN
     action keep the order they came in: LED 1's file, the WAN action's
     last request, morvid's pid file (a start), and the kernel's process
     accounting, which tells how each process left to init ended.
   It goes to the background once all of that is in place. */
/* posix_openpt and the like, beside the defaults (cfmakeraw). */
#define _DEFAULT_SOURCE
#define _XOPEN_SOURCE 700
#include "sigabbrev.h"

#include <errno.h>
#include <fcntl.h>
/* The kernel's own accounting record: not every C library declares its
   version 3 (uClibc-ng does not), nor acct() with it. */
#include <linux/acct.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define RUN "/var/run/"

static int events = -1;

static void emit(const char *fmt, ...)
{
    char line[512];
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int n = snprintf(line, sizeof line, "%lld.%06ld ", (long long)now.tv_sec, now.tv_nsec / 1000);
    va_list ap;
    va_start(ap, fmt);
    n += vsnprintf(line + n, sizeof line - n - 1, fmt, ap);
    va_end(ap);
    if (n > (int)sizeof line - 2)
        n = sizeof line - 2;
    line[n++] = '\n';
    (void)write(events, line, n);
}

static int open_raw(const char *path, int flags)
{
    int fd = open(path, flags | O_NOCTTY | O_CLOEXEC);
    struct termios t;
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        (void)tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

/* A small file's text without its line end. */
static const char *slurp(const char *path)
{
    static char text[64];
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    ssize_t n = fd >= 0 ? read(fd, text, sizeof text - 1) : 0;
    if (fd >= 0)
        close(fd);
    text[n > 0 ? n : 0] = '\0';
    text[strcspn(text, "\n")] = '\0';
    return text;
}

static void console_bytes(const char *p, ssize_t n)
{
    static char line[256];
    static size_t len;
    for (; n-- > 0; ++p) {
        if (*p != '\n') {
            if (*p != '\r' && len < sizeof line - 1)
                line[len++] = *p;
            continue;
        }
        line[len] = '\0';
        if (len != 0)
            emit("%s %s",
                 strncmp(line, "run_", 4) == 0 || strstr(line, "::recvd sig:") ? "out" : "console",
                 line);
        len = 0;
    }
}

/* How a process whose parent was init ended, from its accounting record. */
static void ended(const struct acct_v3 *r)
{
    char name[ACCT_COMM + 1] = "", how[32];
    memcpy(name, r->ac_comm, ACCT_COMM);
    int sig = r->ac_exitcode & 0x7f;
    if (sig == 0)
        snprintf(how, sizeof how, "exit=%u", (unsigned)(r->ac_exitcode >> 8) & 0xff);
    else if (sigabbrev_np(sig) != NULL)
        snprintf(how, sizeof how, "signal=%s", sigabbrev_np(sig));
    else
        snprintf(how, sizeof how, "signal=%d", sig);
    if (strcmp(name, "morvid") == 0)
        emit("sandbox morvid-ended pid=%u %s", (unsigned)r->ac_pid, how);
    else
        emit("reap %s pid=%u %s", name, (unsigned)r->ac_pid, how);
}

int main(void)
{
    unsigned first = (unsigned)getpid();
    const char *sb = getenv("SB");
    char fifo_path[256];
    snprintf(fifo_path, sizeof fifo_path, "%s/events", sb != NULL ? sb : "/tmp");
    events = open_raw("/dev/ttyS1", O_WRONLY);
    int console = open("/dev/ttyS0", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    int fifo =
        mkfifo(fifo_path, 0666) == 0 || errno == EEXIST ? open(fifo_path, O_RDWR | O_CLOEXEC) : -1;
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC), slave = -1;
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
        slave = open_raw(ptsname(master), O_RDWR);
    int acct_fd = open(RUN "acct", O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    int watch = inotify_init1(IN_CLOEXEC);
    if (events < 0 || console < 0 || fifo < 0 || slave < 0 || ioctl(slave, TIOCCONS) != 0 ||
        acct_fd < 0 || syscall(SYS_acct, RUN "acct") != 0 || watch < 0 ||
        inotify_add_watch(watch, RUN, IN_CLOSE_WRITE | IN_MODIFY) < 0) {
        perror("eventd");
        return 1;
    }
    if (fork() != 0)
        return 0;

    struct pollfd fds[] = {{fifo, POLLIN, 0}, {master, POLLIN, 0}, {watch, POLLIN, 0}};
    static char buf[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
    for (;;) {
        ssize_t n;
        if (poll(fds, 3, -1) <= 0)
            continue;
        if (fds[0].revents && (n = read(fifo, buf, sizeof buf)) > 0)
            (void)write(events, buf, n);
        if (fds[1].revents && (n = read(master, buf, sizeof buf)) > 0) {
            (void)write(console, buf, n);
            console_bytes(buf, n);
        }
        if (!fds[2].revents || (n = read(watch, buf, sizeof buf)) <= 0)
            continue;
        const struct inotify_event *ev;
        for (char *p = buf; p < buf + n; p += sizeof *ev + ev->len) {
            ev = (const struct inotify_event *)p;
            const char *name = ev->len ? ev->name : "";
            struct acct_v3 r;
            if (strcmp(name, "acct") == 0) {
                while (read(acct_fd, &r, sizeof r) == sizeof r)
                    if (r.ac_ppid == 1 && r.ac_pid > first) /* not rcS, which started us */
                        ended(&r);
            } else if (ev->mask & IN_CLOSE_WRITE) {
                char path[80];
                snprintf(path, sizeof path, RUN "%s", name);
                const char *text = slurp(path);
                struct timespec up;
                clock_gettime(CLOCK_BOOTTIME, &up);
                if (strcmp(name, "morvid.pid") == 0)
                    emit("sandbox morvid-started pid=%s uptime=%lld.%02ld", text,
                         (long long)up.tv_sec, up.tv_nsec / 10000000);
                else if (strcmp(name, "led1") == 0 || strcmp(name, "wan") == 0)
                    emit("%s %s", name, text);
            }
        }
    }
}
