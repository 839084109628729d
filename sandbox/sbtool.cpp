// The sandbox's plumbing, three jobs the scripts cannot do well, each
// logging what it sees to the event log of events.h:
//   init -- CMD...  PID 1: runs CMD, reaps every orphan (the services the daemon
//                   puts in the background end up here), logs how each ended
//   pty [--pipe] PIDFILE UPTIME -- CMD...   runs CMD (the daemon) with its output
//                   on a pseudo-terminal, as on the console (or a pipe, as under a
//                   logger); logs its start, end and every line
//   watch TRANSCRIPT TTYFILE LED WAN   makes the console, a pseudo-terminal named
//                   in TTYFILE; logs its lines (kept in TRANSCRIPT), LED's values
//                   and WAN's lines

#include "events.h"
#include "lines.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

static void die(const char *what)
{
    (void)fprintf(stderr, "sbtool: %s: %s\n", what, strerror(errno));
    exit(2);
}

static void read_comm(pid_t pid, char *out, size_t size)
{
    char path[64];
    (void)snprintf(path, sizeof path, "/proc/%d/comm", static_cast<int>(pid));
    (void)snprintf(out, size, "?");
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ssize_t got = read(fd, out, size - 1);
    close(fd);
    if (got <= 0)
        return;
    out[got] = '\0';
    out[strcspn(out, "\n")] = '\0';
}

static void describe_status(int status, char *out, size_t size)
{
    if (WIFSIGNALED(status)) {
        char buf[16];
        (void)snprintf(out, size, "signal=%s", signal_abbrev(WTERMSIG(status), buf, sizeof buf));
    } else {
        (void)snprintf(out, size, "exit=%d", WEXITSTATUS(status));
    }
}

static int exit_code(int status)
{
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// ---- init ------------------------------------------------------------------

static volatile pid_t g_main_child = 0;

static void forward(int sig)
{
    if (g_main_child > 0)
        kill(g_main_child, sig);
}

static int run_init(char **cmd)
{
    pid_t child = fork();
    if (child < 0)
        die("fork");
    if (child == 0) {
        execvp(cmd[0], cmd);
        (void)fprintf(stderr, "sbtool: %s: %s\n", cmd[0], strerror(errno));
        _exit(127);
    }
    g_main_child = child;
    // PID 1 gets no signal it has no handler for; pass the usual ones on.
    (void)signal(SIGTERM, forward);
    (void)signal(SIGINT, forward);
    (void)signal(SIGHUP, forward);

    for (;;) {
        // Look before reaping, so the name is still there to log.
        siginfo_t info;
        memset(&info, 0, sizeof info);
        if (waitid(P_ALL, 0, &info, WEXITED | WNOWAIT) < 0) {
            if (errno == EINTR)
                continue;
            die("waitid");
        }
        pid_t pid = info.si_pid;
        char comm[32];
        read_comm(pid, comm, sizeof comm);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        char how[32];
        describe_status(status, how, sizeof how);
        if (pid == child)
            return exit_code(status);
        char text[128];
        (void)snprintf(text, sizeof text, "%s pid=%d %s", comm, static_cast<int>(pid), how);
        event_say("reap", text);
    }
}

// ---- pty -------------------------------------------------------------------

// A pseudo-terminal, its slave held open here as well, so that its master
// never reads EIO between writers, nor once the daemon is gone.
static int open_pty(int *slave, const char **name)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        (*name = ptsname(master)) == nullptr)
        die("pseudo-terminal");
    *slave = open(*name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*slave < 0)
        die(*name);
    return master;
}

static int run_pty(bool pipe, const char *pid_file, const char *uptime, char **cmd)
{
    int master = -1;
    int slave = -1;
    const char *name = nullptr;
    if (!pipe) {
        master = open_pty(&slave, &name);
    } else if (int fds[2]; pipe2(fds, O_CLOEXEC) == 0) {
        master = fds[0];
        slave = fds[1]; // held open, as a terminal's slave is
    } else {
        die("pipe");
    }
    pid_t child = fork();
    if (child < 0)
        die("fork");
    if (child == 0) {
        // Its own session, so that no key pressed in the terminal that
        // started the sandbox reaches it.
        setsid();
        int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(slave, STDOUT_FILENO);
        dup2(slave, STDERR_FILENO);
        // Only the standard streams, as init gives a daemon: nothing the
        // sandbox or the test runner holds open reaches it.
        (void)close_range(STDERR_FILENO + 1, ~0U, 0);
        execv(cmd[0], cmd);
        _exit(127);
    }
    char text[128];
    (void)snprintf(text, sizeof text, "morvid-started pid=%d uptime=%s", static_cast<int>(child),
                   uptime);
    event_say("sandbox", text);
    FILE *f = fopen(pid_file, "we");
    if (f != nullptr) {
        (void)fprintf(f, "%d\n", static_cast<int>(child));
        (void)fclose(f);
    }

    static struct lines out;
    bool child_alive = true;
    for (;;) {
        struct pollfd pfd = {master, POLLIN, 0};
        if (poll(&pfd, 1, 100) > 0 && (pfd.revents & POLLIN) != 0)
            (void)read_lines(master, &out, "out");
        if (child_alive) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                child_alive = false;
                // Whatever it printed last arrives before it is declared gone.
                usleep(50 * 1000);
                while (poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0 &&
                       read_lines(master, &out, "out")) {
                }
                char how[32];
                describe_status(status, how, sizeof how);
                (void)snprintf(text, sizeof text, "morvid-ended pid=%d %s", static_cast<int>(child),
                               how);
                event_say("sandbox", text);
            }
        }
    }
}

// ---- watch -----------------------------------------------------------------

// The LED and the WAN action are watched through one inotify queue, which
// keeps them in the order they happened: the daemon writes LED 1 before it
// runs the WAN action of the same pass, and so the close of the LED file is
// queued before the action's line is appended to the WAN file. Each event
// is logged as it is read, stamped then (a file's modification time comes
// from a coarse clock that may lag the stamps of other events by a tick),
// and the queue is read before the console, where the action's own words
// go after its line.
struct device_watch {
    int notify;
    int led_wd, wan_wd;
    const char *led;
    int wan; // the WAN file, read on from where it was left
    struct lines lines;
};

static void watch_devices(const char *led, const char *wan, struct device_watch *w)
{
    w->led = led;
    w->notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    w->wan = open(wan, O_RDONLY | O_CLOEXEC);
    if (w->notify < 0 || w->wan < 0)
        die("inotify");
    w->led_wd = inotify_add_watch(w->notify, led, IN_CLOSE_WRITE);
    w->wan_wd = inotify_add_watch(w->notify, wan, IN_MODIFY);
    if (w->led_wd < 0 || w->wan_wd < 0)
        die("inotify");
}

static void log_led(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char value[64];
    ssize_t got = pread(fd, value, sizeof value - 1, 0);
    close(fd);
    if (got > 0 && value[got - 1] == '\n')
        event_log("led1", value, static_cast<size_t>(got - 1));
}

static void read_devices(struct device_watch *w)
{
    alignas(struct inotify_event) char events[4096];
    ssize_t got = read(w->notify, events, sizeof events);
    for (ssize_t at = 0; at < got;) {
        const struct inotify_event *e = reinterpret_cast<const struct inotify_event *>(events + at);
        at += static_cast<ssize_t>(sizeof *e + e->len);
        if (e->wd == w->led_wd) {
            log_led(w->led);
            continue;
        }
        (void)read_lines(w->wan, &w->lines, "wan");
    }
}

// The console is a pseudo-terminal, as on the device: programs open it with
// O_TRUNC and write to it from many processes, which a plain file would not
// survive. Its lines are logged and kept in a transcript file.
static int run_watch(const char *transcript, const char *tty_name_file, const char *led,
                     const char *wan)
{
    static struct lines console;
    static struct device_watch dw;
    int copy = open(transcript, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int slave = -1;
    const char *name = nullptr;
    int master = open_pty(&slave, &name);
    FILE *f = fopen(tty_name_file, "we");
    if (copy < 0 || f == nullptr)
        die(transcript);
    (void)fprintf(f, "%s\n", name);
    (void)fclose(f);
    watch_devices(led, wan, &dw);
    struct pollfd pfd[2] = {{dw.notify, POLLIN, 0}, {master, POLLIN, 0}};
    for (;;) {
        if (poll(pfd, 2, -1) < 0)
            continue;
        if ((pfd[0].revents & POLLIN) != 0)
            read_devices(&dw);
        if ((pfd[1].revents & POLLIN) != 0)
            (void)read_lines(master, &console, "console", copy);
    }
}

// ---- main ------------------------------------------------------------------

static char **after_dashes(int argc, char **argv, int from)
{
    for (int i = from; i < argc; ++i)
        if (strcmp(argv[i], "--") == 0 && i + 1 < argc)
            return argv + i + 1;
    return nullptr;
}

int main(int argc, char **argv)
{
    const char *job = argc > 1 ? argv[1] : "";
    if (strcmp(job, "init") == 0) {
        char **cmd = after_dashes(argc, argv, 2);
        if (cmd != nullptr)
            return run_init(cmd);
    } else if (strcmp(job, "pty") == 0 && argc > 4) {
        bool pipe = strcmp(argv[2], "--pipe") == 0;
        char **cmd = after_dashes(argc, argv, pipe ? 5 : 4);
        if (cmd != nullptr)
            return run_pty(pipe, argv[pipe ? 3 : 2], argv[pipe ? 4 : 3], cmd);
    } else if (strcmp(job, "watch") == 0 && argc == 6) {
        return run_watch(argv[2], argv[3], argv[4], argv[5]);
    }
    (void)fprintf(stderr,
                  "usage: sbtool init -- CMD... | pty [--pipe] PIDFILE UPTIME -- CMD... | watch "
                  "TRANSCRIPT "
                  "TTYFILE LED WAN\n");
    return 2;
}
