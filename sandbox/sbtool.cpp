// The event recorder of the sandbox and of the emulated router, into the log of events.h:
//   init -- CMD...  PID 1: runs CMD, reaps and logs every orphan (the services)
//   pty [--pipe] PIDFILE UPTIME -- CMD...   runs the daemon, its output on a pseudo-terminal as
//                   on the console (or a pipe); logs its lines
//   watch TRANSCRIPT TTYFILE LED WAN   the console (a pseudo-terminal named in TTYFILE), LED's
//                   values and WAN's lines, logged
//   guest           the same in the router, beside busybox init (see run_guest)

#include "events.h" // and with it the C library's basics
#include "lines.h"

#include <linux/acct.h> // version 3 of the record, which uClibc-ng does not declare
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>

[[noreturn]] static void die(const char *what, int status = 2)
{
    (void)fprintf(stderr, "sbtool: %s: %s\n", what, strerror(errno));
    _exit(status);
}

// "WHAT pid=N signal=S" or "WHAT pid=N exit=N": how a process ended.
static void log_end(const char *source, const char *what, long pid, int status)
{
    char text[128];
    char buf[16];
    bool signalled = WIFSIGNALED(status);
    (void)snprintf(buf, sizeof buf, "%d", WEXITSTATUS(status));
    (void)snprintf(text, sizeof text, "%s pid=%ld %s=%s", what, pid, signalled ? "signal" : "exit",
                   signalled ? signal_abbrev(WTERMSIG(status), buf, sizeof buf) : buf);
    event_say(source, text);
}

static volatile pid_t g_main_child = 0;

static void forward(int sig)
{
    (void)kill(g_main_child, sig); // installed only once it is set
}

static int run_init(char **cmd)
{
    pid_t child = fork();
    if (child < 0)
        die("fork");
    if (child == 0) {
        execvp(cmd[0], cmd);
        die(cmd[0], 127);
    }
    g_main_child = child;
    // PID 1 gets no signal it has no handler for; pass the usual ones on.
    static const int forwarded[] = {SIGTERM, SIGINT, SIGHUP};
    for (int sig : forwarded)
        (void)signal(sig, forward);
    for (;;) {
        // Look before reaping, so the name is still there to log.
        siginfo_t info = {};
        while (waitid(P_ALL, 0, &info, WEXITED | WNOWAIT) < 0)
            if (errno != EINTR)
                die("waitid");
        pid_t pid = info.si_pid;
        char path[64];
        char comm[32];
        (void)snprintf(path, sizeof path, "/proc/%d/comm", static_cast<int>(pid));
        bool named = first_line(path, comm, sizeof comm);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (pid == child)
            return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        log_end("reap", named ? comm : "?", pid, status);
    }
}

// A pseudo-terminal in fds as pipe2 gives a pipe, and its name. The slave is held open here
// as well, so that the master never reads EIO between writers, nor once the daemon is gone.
static const char *open_pty(int fds[2])
{
    const char *name = nullptr;
    if ((fds[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0 || grantpt(fds[0]) != 0 ||
        unlockpt(fds[0]) != 0 || (name = ptsname(fds[0])) == nullptr ||
        (fds[1] = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0)
        die("pseudo-terminal");
    return name;
}

static int run_pty(bool pipe, const char *pid_file, const char *uptime, char **cmd)
{
    int fds[2]; // the write end held open here, a pipe's as a terminal's
    if (!pipe)
        (void)open_pty(fds);
    else if (pipe2(fds, O_CLOEXEC) != 0)
        die("pipe");
    pid_t child = fork();
    if (child < 0)
        die("fork");
    if (child == 0) {
        setsid(); // no key pressed in the terminal that started the sandbox reaches it
        int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        // Only the standard streams, as init gives a daemon.
        for (long fd = STDERR_FILENO + 1, max = sysconf(_SC_OPEN_MAX); fd < max; ++fd)
            (void)close(static_cast<int>(fd));
        execv(cmd[0], cmd);
        _exit(127);
    }
    char text[128];
    (void)snprintf(text, sizeof text, "morvid-started pid=%d uptime=%s", static_cast<int>(child),
                   uptime);
    event_say("sandbox", text);
    (void)snprintf(text, sizeof text, "%d", static_cast<int>(child));
    (void)write_line(pid_file, text);
    static struct lines out;
    struct pollfd pfd = {fds[0], POLLIN, 0};
    auto read_out = [&pfd](int timeout) {
        return poll(&pfd, 1, timeout) > 0 && (pfd.revents & POLLIN) != 0 &&
               read_lines(pfd.fd, &out, "out");
    };
    int status = 0;
    while (waitpid(child, &status, WNOHANG) != child)
        (void)read_out(100);
    // Whatever it printed last arrives before it is declared gone.
    usleep(50 * 1000);
    while (read_out(0)) {
    }
    log_end("sandbox", "morvid-ended", child, status);
    for (;;)
        (void)read_out(-1);
}

// One inotify queue keeps LED 1 and the WAN file in the order written, each stamped as read (an
// mtime may lag a tick), before the console; in the guest also /var/run's pid file and accounting.
static struct {
    int notify, led_wd, wan_wd;
    const char *led;
    int wan, acct;  // read on from where they were left
    unsigned first; // the guest's processes before this one are the boot's
    struct lines lines;
} g_watch;

static void log_run_file(const char *name, uint32_t mask)
{
    char text[160];
    struct acct_v3 r;
    if (strcmp(name, "acct") == 0) {
        while (read(g_watch.acct, &r, sizeof r) == static_cast<ssize_t>(sizeof r)) {
            if (r.ac_ppid != 1 || r.ac_pid <= g_watch.first) // not rcS, which started us
                continue;
            char comm[ACCT_COMM + 1] = "";
            memcpy(comm, r.ac_comm, ACCT_COMM);
            bool daemon = strcmp(comm, "morvid") == 0;
            log_end(daemon ? "sandbox" : "reap", daemon ? "morvid-ended" : comm,
                    static_cast<long>(r.ac_pid), static_cast<int>(r.ac_exitcode));
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
        char value[64];
        if (e->wd == g_watch.led_wd && first_line(g_watch.led, value, sizeof value))
            event_say("led1", value);
        else if (e->wd == g_watch.wan_wd)
            (void)read_lines(g_watch.wan, &g_watch.lines, "wan");
        else if (e->len != 0)
            log_run_file(e->name, e->mask);
    }
}

// morvid's own console lines, known by their words, are "out"; the rest is the device's.
static void guest_console_line(const char *, const char *text, size_t len)
{
    static const char signal_line[] = "on_signal::recvd sig:";
    const size_t n = sizeof signal_line - 1;
    bool out = len > n && memcmp(text, signal_line, n) == 0
                   ? strspn(text + n, "0123456789") >= len - n
                   : (len == 7 && memcmp(text, "run_boa", 7) == 0) ||
                         (len == 8 && memcmp(text, "run_dnrd", 8) == 0);
    if (len != 0)
        event_log(out ? "out" : "console", text, len);
}

// The console, a pseudo-terminal as on the device (many writers, O_TRUNC), logged and copied to
// TRANSCRIPT: mounted by the sandbox (TTYFILE names it), taken over in the guest as bootlogd does.
static int run_watch(const char *transcript, const char *tty_file, const char *led, const char *wan,
                     int fifo = -1)
{
    static struct lines console;
    int copy = open(transcript, O_WRONLY | O_CREAT | O_APPEND | O_NOCTTY | O_CLOEXEC, 0644);
    int pty[2];
    const char *name = open_pty(pty);
    struct termios t;
    if (copy < 0 || tcgetattr(pty[1], &t) != 0)
        die(transcript);
    cfmakeraw(&t);
    (void)tcsetattr(pty[1], TCSANOW, &t);
    g_watch.led = led;
    g_watch.notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    g_watch.wan = open(wan, O_RDONLY | O_CLOEXEC);
    if (g_watch.notify < 0 || g_watch.wan < 0 ||
        (g_watch.led_wd = inotify_add_watch(g_watch.notify, led, IN_CLOSE_WRITE)) < 0 ||
        (g_watch.wan_wd = inotify_add_watch(g_watch.notify, wan, IN_MODIFY)) < 0)
        die("inotify");
    if (tty_file == nullptr) {
        if (ioctl(pty[1], TIOCCONS) != 0 ||
            inotify_add_watch(g_watch.notify, "/var/run", IN_CLOSE_WRITE | IN_MODIFY) < 0)
            die("console");
        if (fork() != 0) // to the background once all is in place
            return 0;
        g_watch.first = static_cast<unsigned>(getpid());
    } else if (!write_line(tty_file, name)) {
        die(tty_file);
    }
    struct pollfd pfd[3] = {{g_watch.notify, POLLIN, 0}, {pty[0], POLLIN, 0}, {fifo, POLLIN, 0}};
    for (;;) {
        if (poll(pfd, fifo >= 0 ? 3 : 2, -1) < 0)
            continue;
        if ((pfd[0].revents & POLLIN) != 0)
            read_watch();
        if ((pfd[1].revents & POLLIN) != 0)
            (void)read_lines(pty[0], &console, "console", copy,
                             fifo >= 0 ? guest_console_line : event_log);
        char buf[4096];
        ssize_t got = 0;
        if ((pfd[2].revents & POLLIN) != 0 && (got = read(fifo, buf, sizeof buf)) > 0)
            (void)!write(g_event_fd, buf, static_cast<size_t>(got));
    }
}

// The guest's events, the watch's and its scripts' (FIFO $SB/events), go by ttyS1 to router/run.
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

int main(int argc, char **argv)
{
    const char *job = argc > 1 ? argv[1] : "";
    bool init = strcmp(job, "init") == 0;
    bool pipe = argc > 2 && strcmp(argv[2], "--pipe") == 0;
    int at = init ? 2 : pipe ? 5 : 4; // where "--" comes, the command after it
    bool cmd = at + 1 < argc && strcmp(argv[at], "--") == 0;
    if (init && cmd)
        return run_init(argv + at + 1);
    if (strcmp(job, "pty") == 0 && cmd)
        return run_pty(pipe, argv[at - 2], argv[at - 1], argv + at + 1);
    if (strcmp(job, "watch") == 0 && argc == 6)
        return run_watch(argv[2], argv[3], argv[4], argv[5]);
    if (strcmp(job, "guest") == 0 && argc == 2)
        return run_guest();
    (void)fprintf(stderr,
                  "usage: sbtool init -- CMD... | pty [--pipe] PIDFILE UPTIME -- CMD... | watch "
                  "TRANSCRIPT TTYFILE LED WAN | guest\n");
    return 2;
}
