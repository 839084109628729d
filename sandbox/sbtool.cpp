// The event recorder of both worlds, the sandbox (sandbox/run) and the
// emulated router (router/run; router/build builds it for MIPS), logging
// what it sees to the event log of events.h:
//   init -- CMD...  PID 1: runs CMD, reaps every orphan (the services the daemon
//                   puts in the background end up here), logs how each ended
//   pty [--pipe] PIDFILE UPTIME -- CMD...   runs CMD (the daemon) with its output
//                   on a pseudo-terminal, as on the console (or a pipe, as under a
//                   logger); logs its start, end and every line
//   watch TRANSCRIPT TTYFILE LED WAN   makes the console, a pseudo-terminal named
//                   in TTYFILE; logs its lines (kept in TRANSCRIPT), LED's values
//                   and WAN's lines
//   guest           the same in the router, beside busybox init (see run_guest)

#include "events.h"
#include "lines.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/acct.h> // version 3 of the record, which uClibc-ng does not declare
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

static void die(const char *what)
{
    (void)fprintf(stderr, "sbtool: %s: %s\n", what, strerror(errno));
    exit(2);
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
        char path[64];
        char comm[32];
        (void)snprintf(path, sizeof path, "/proc/%d/comm", static_cast<int>(pid));
        if (!first_line(path, comm, sizeof comm))
            (void)snprintf(comm, sizeof comm, "?");
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        char how[32];
        describe_status(status, how, sizeof how);
        if (pid == child)
            return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
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
        (*name = ptsname(master)) == nullptr ||
        (*slave = open(*name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0)
        die("pseudo-terminal");
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
        for (long fd = STDERR_FILENO + 1, max = sysconf(_SC_OPEN_MAX); fd < max; ++fd)
            (void)close(static_cast<int>(fd));
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

// ---- watch and guest ---------------------------------------------------------

// LED 1 and the WAN action are watched through one inotify queue, which
// keeps them in the order they happened: the daemon writes LED 1 before it
// runs the WAN action of the same pass, and so the close of the LED file is
// queued before the action's line is appended to the WAN file. Each event
// is logged as it is read, stamped then (a file's modification time comes
// from a coarse clock that may lag the stamps of other events by a tick),
// and the queue is read before the console, where the action's own words
// go after its line. In the guest, the same queue watches /var/run for
// morvid's pid file (its start) and the kernel's process accounting (how
// each process left to init ended).
static struct {
    int notify, led_wd, wan_wd, run_wd = -1;
    const char *led;
    int wan, acct;  // read on from where they were left
    unsigned first; // the guest's processes before this one are the boot's
    struct lines lines;
} g_watch;

static void log_led()
{
    char value[64];
    if (first_line(g_watch.led, value, sizeof value))
        event_say("led1", value);
}

static void log_run_file(const char *name, uint32_t mask)
{
    char text[160];
    struct acct_v3 r;
    if (strcmp(name, "acct") == 0) {
        while (read(g_watch.acct, &r, sizeof r) == static_cast<ssize_t>(sizeof r)) {
            if (r.ac_ppid != 1 || r.ac_pid <= g_watch.first) // not rcS, which started us
                continue;
            char comm[ACCT_COMM + 1] = "";
            char how[32];
            memcpy(comm, r.ac_comm, ACCT_COMM);
            describe_status(static_cast<int>(r.ac_exitcode), how, sizeof how);
            bool daemon = strcmp(comm, "morvid") == 0;
            (void)snprintf(text, sizeof text, "%s pid=%u %s", daemon ? "morvid-ended" : comm,
                           static_cast<unsigned>(r.ac_pid), how);
            event_say(daemon ? "sandbox" : "reap", text);
        }
    } else if (strcmp(name, "morvid.pid") == 0 && (mask & IN_CLOSE_WRITE) != 0) {
        char pid[32];
        struct timespec up;
        (void)first_line("/var/run/morvid.pid", pid, sizeof pid);
        clock_gettime(CLOCK_BOOTTIME, &up);
        (void)snprintf(text, sizeof text, "morvid-started pid=%s uptime=%lld.%02ld", pid,
                       static_cast<long long>(up.tv_sec), up.tv_nsec / 10000000);
        event_say("sandbox", text);
    }
}

static void read_watch()
{
    alignas(struct inotify_event) char events[4096];
    ssize_t got = read(g_watch.notify, events, sizeof events);
    for (ssize_t at = 0; at < got;) {
        const auto *e = reinterpret_cast<const struct inotify_event *>(events + at);
        at += static_cast<ssize_t>(sizeof *e + e->len);
        if (e->wd == g_watch.led_wd)
            log_led();
        else if (e->wd == g_watch.wan_wd)
            (void)read_lines(g_watch.wan, &g_watch.lines, "wan");
        else if (e->len != 0)
            log_run_file(e->name, e->mask);
    }
}

// morvid's own console lines, by the words it prints; the rest of the
// guest's console (killall, the WAN action, init) is the device's.
static bool is_morvid_line(const char *text, size_t len)
{
    static const char signal_line[] = "on_signal::recvd sig:";
    const size_t n = sizeof signal_line - 1;
    if (len > n && memcmp(text, signal_line, n) == 0)
        return strspn(text + n, "0123456789") >= len - n;
    return (len == 7 && memcmp(text, "run_boa", 7) == 0) ||
           (len == 8 && memcmp(text, "run_dnrd", 8) == 0);
}

static void guest_console_line(const char *, const char *text, size_t len)
{
    if (len != 0)
        event_log(is_morvid_line(text, len) ? "out" : "console", text, len);
}

// The console is a pseudo-terminal, as on the device: programs open it with
// O_TRUNC and write to it from many processes, which a plain file would not
// survive. Its lines are logged and copied to TRANSCRIPT. In the sandbox it
// is named in TTYFILE, to be mounted on /dev/console; in the guest (no
// TTYFILE) it takes /dev/console's writes over, as bootlogd does, and
// passes them on to the serial console, its TRANSCRIPT, and FIFO (the
// event lines of the guest's scripts and stand-ins) is read as well.
static int run_watch(const char *transcript, const char *tty_file, const char *led, const char *wan,
                     int fifo = -1)
{
    static struct lines console;
    int copy = open(transcript, O_WRONLY | O_CREAT | O_APPEND | O_NOCTTY | O_CLOEXEC, 0644);
    int slave = -1;
    const char *name = nullptr;
    int master = open_pty(&slave, &name);
    struct termios t;
    if (copy < 0 || tcgetattr(slave, &t) != 0)
        die(transcript);
    cfmakeraw(&t);
    (void)tcsetattr(slave, TCSANOW, &t);
    g_watch.led = led;
    g_watch.notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    g_watch.wan = open(wan, O_RDONLY | O_CLOEXEC);
    if (g_watch.notify < 0 || g_watch.wan < 0 ||
        (g_watch.led_wd = inotify_add_watch(g_watch.notify, led, IN_CLOSE_WRITE)) < 0 ||
        (g_watch.wan_wd = inotify_add_watch(g_watch.notify, wan, IN_MODIFY)) < 0)
        die("inotify");
    if (tty_file == nullptr) {
        if (ioctl(slave, TIOCCONS) != 0 ||
            (g_watch.run_wd =
                 inotify_add_watch(g_watch.notify, "/var/run", IN_CLOSE_WRITE | IN_MODIFY)) < 0)
            die("console");
        if (fork() != 0)
            return 0;
        g_watch.first = static_cast<unsigned>(getpid());
    } else if (FILE *f = fopen(tty_file, "we"); f != nullptr) {
        (void)fprintf(f, "%s\n", name);
        (void)fclose(f);
    } else {
        die(tty_file);
    }
    struct pollfd pfd[3] = {{g_watch.notify, POLLIN, 0}, {master, POLLIN, 0}, {fifo, POLLIN, 0}};
    for (;;) {
        if (poll(pfd, fifo >= 0 ? 3 : 2, -1) < 0)
            continue;
        if ((pfd[0].revents & POLLIN) != 0)
            read_watch();
        if ((pfd[1].revents & POLLIN) != 0)
            (void)read_lines(master, &console, "console", copy,
                             fifo >= 0 ? guest_console_line : event_log);
        char buf[4096];
        ssize_t got = 0;
        if ((pfd[2].revents & POLLIN) != 0 && (got = read(fifo, buf, sizeof buf)) > 0)
            (void)!write(g_event_fd, buf, static_cast<size_t>(got));
    }
}

// The emulated router's events, stamped on the guest's clock, go out of the
// second serial port, where router/run reads them: the watch above, and the
// lines written to the FIFO $SB/events, stamped by their writers. It goes
// to the background once all of that is in place.
static int run_guest()
{
    static const char acct_file[] = "/var/run/acct";
    const char *sb = getenv("SB");
    char fifo_path[256];
    (void)snprintf(fifo_path, sizeof fifo_path, "%s/events", sb != nullptr ? sb : "/tmp");
    int fifo =
        mkfifo(fifo_path, 0666) == 0 || errno == EEXIST ? open(fifo_path, O_RDWR | O_CLOEXEC) : -1;
    g_event_fd = open("/dev/ttyS1", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    g_watch.acct = open(acct_file, O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    struct termios t;
    if (fifo < 0 || g_event_fd < 0 || tcgetattr(g_event_fd, &t) != 0 || g_watch.acct < 0 ||
        syscall(SYS_acct, acct_file) != 0)
        die("guest");
    cfmakeraw(&t);
    (void)tcsetattr(g_event_fd, TCSANOW, &t);
    return run_watch("/dev/ttyS0", nullptr, "/var/run/led1", "/var/run/wan", fifo);
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
    } else if (strcmp(job, "guest") == 0 && argc == 2) {
        return run_guest();
    }
    (void)fprintf(stderr,
                  "usage: sbtool init -- CMD... | pty [--pipe] PIDFILE UPTIME -- CMD... | watch "
                  "TRANSCRIPT TTYFILE LED WAN | guest\n");
    return 2;
}
