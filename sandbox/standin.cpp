// Stand-in for the router's services (boa, dnrd, syslogd, pppd ...): one
// program that becomes whichever service it is started as. Like the real
// servers it detaches into a session of its own and writes /var/run/NAME.pid,
// then waits to be killed, logging its start (with what an earlier instance
// left in the pid file) and every signal it gets, with the sender (SIGKILL
// only the sandbox's PID 1 sees). "exit N" in $SB/modes/NAME makes the next
// instances of NAME exit with status N at once, like a crash-looping server.

#include "events.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char *base_name(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

// First line of a file, or empty when there is none.
static void read_first_line(const char *path, char *out, size_t size)
{
    out[0] = '\0';
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ssize_t got = read(fd, out, size - 1);
    close(fd);
    if (got < 0)
        got = 0;
    out[got] = '\0';
    out[strcspn(out, "\n")] = '\0';
}

// What a previous instance left: "absent", or "stale:<first line>".
static void describe_old_pid_file(const char *path, char *out, size_t size)
{
    if (access(path, F_OK) != 0) {
        (void)snprintf(out, size, "absent");
        return;
    }
    char old[64];
    read_first_line(path, old, sizeof old);
    (void)snprintf(out, size, "stale:%s", old[0] != '\0' ? old : "(empty)");
}

static void write_pid_file(const char *path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    (void)dprintf(fd, "%d\n", static_cast<int>(getpid()));
    close(fd);
}

static void join_args(int argc, char **argv, char *out, size_t size)
{
    size_t used = 0;
    out[0] = '\0';
    for (int i = 1; i < argc && used + 1 < size; ++i)
        used += static_cast<size_t>(
            snprintf(out + used, size - used, "%s%s", i > 1 ? " " : "", argv[i]));
}

// "exit N" from the mode file sets *status; anything else means run normally.
static bool exit_mode(const char *name, int *status)
{
    const char *root = getenv("SB");
    if (root == nullptr)
        return false;
    char path[512];
    (void)snprintf(path, sizeof path, "%s/modes/%s", root, name);
    char mode[64];
    read_first_line(path, mode, sizeof mode);
    char *end = mode + 5;
    long value = strncmp(mode, "exit ", 5) == 0 ? strtol(mode + 5, &end, 10) : 0;
    *status = static_cast<int>(value);
    return end != mode + 5;
}

// Signals a server survives: reload requests and job-control noise.
static bool survives(int sig)
{
    return sig == SIGHUP || sig == SIGUSR1 || sig == SIGUSR2 || sig == SIGCHLD || sig == SIGCONT ||
           sig == SIGWINCH || sig == SIGURG || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

int main(int argc, char **argv)
{
    const char *name = base_name(argv[0]);
    int pid = static_cast<int>(getpid());

    // Blocked from the start and taken with sigwaitinfo, so no signal is
    // missed and each is logged with its sender outside any handler.
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, nullptr);
    (void)setsid();

    char pid_path[256];
    (void)snprintf(pid_path, sizeof pid_path, "/var/run/%s.pid", name);
    char old[96];
    describe_old_pid_file(pid_path, old, sizeof old);
    write_pid_file(pid_path);

    char args[512];
    join_args(argc, argv, args, sizeof args);
    char cwd[256];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        (void)snprintf(cwd, sizeof cwd, "?");
    char text[1024];
    (void)snprintf(text, sizeof text, "start %s pid=%d ppid=%d pidfile=%s cwd=%s args=%s", name,
                   pid, static_cast<int>(getppid()), old, cwd, args);
    event_say("svc", text);

    int status = 0;
    if (exit_mode(name, &status)) {
        (void)snprintf(text, sizeof text, "exit %s pid=%d status=%d", name, pid, status);
        event_say("svc", text);
        return status;
    }

    for (;;) {
        siginfo_t info;
        int sig = sigwaitinfo(&all, &info);
        if (sig < 0)
            continue;
        char buf[16];
        (void)snprintf(text, sizeof text, "signal %s pid=%d sig=%s from=%d", name, pid,
                       signal_abbrev(sig, buf, sizeof buf), static_cast<int>(info.si_pid));
        event_say("svc", text);
        if (survives(sig))
            continue;
        // End by the signal itself, so that whoever reaps us sees it.
        (void)signal(sig, SIG_DFL);
        sigprocmask(SIG_UNBLOCK, &all, nullptr);
        (void)raise(sig);
        return 128 + sig;
    }
}
