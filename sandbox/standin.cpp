// Stand-in for the router's services, named as it is started: like the real servers it detaches
// and writes /var/run/NAME.pid, then logs its start (and what the pid file held) and every signal
// with its sender until one ends it. "exit N" in $SB/modes/NAME: it exits with N at once.

#include "events.h"

int main(int argc, char **argv)
{
    const char *name = strrchr(argv[0], '/') != nullptr ? strrchr(argv[0], '/') + 1 : argv[0];
    int pid = static_cast<int>(getpid());

    // Blocked from the start and taken with sigwaitinfo: none missed, no handler.
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, nullptr);
    (void)setsid();

    // What a previous instance left: "absent", or "stale:<first line>".
    char path[512];
    char old[64];
    char text[1024];
    (void)snprintf(path, sizeof path, "/var/run/%s.pid", name);
    bool had = access(path, F_OK) == 0;
    (void)first_line(path, old, sizeof old);
    (void)snprintf(text, sizeof text, "%d", pid);
    (void)write_line(path, text);
    char cwd[256];
    auto used = static_cast<size_t>(
        snprintf(text, sizeof text, "start %s pid=%d ppid=%d pidfile=%s%s cwd=%s args=", name, pid,
                 static_cast<int>(getppid()), had ? "stale:" : "absent",
                 had ? (old[0] != '\0' ? old : "(empty)") : "",
                 getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?"));
    for (int i = 1; i < argc && used + 1 < sizeof text; ++i)
        used += static_cast<size_t>(
            snprintf(text + used, sizeof text - used, "%s%s", i > 1 ? " " : "", argv[i]));
    event_say("svc", text);

    const char *root = getenv("SB");
    char mode[64] = "";
    (void)snprintf(path, sizeof path, "%s/modes/%s", root != nullptr ? root : "", name);
    if (root != nullptr)
        (void)first_line(path, mode, sizeof mode);
    char *end = mode + 5;
    long status = strncmp(mode, "exit ", 5) == 0 ? strtol(mode + 5, &end, 10) : 0;
    if (end != mode + 5) {
        (void)snprintf(text, sizeof text, "exit %s pid=%d status=%ld", name, pid, status);
        event_say("svc", text);
        return static_cast<int>(status);
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
        // A server survives reload requests and job-control noise.
        if (sig == SIGHUP || sig == SIGUSR1 || sig == SIGUSR2 || sig == SIGCHLD || sig == SIGCONT ||
            sig == SIGWINCH || sig == SIGURG || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU)
            continue;
        // End by the signal itself, so that whoever reaps us sees it.
        (void)signal(sig, SIG_DFL);
        sigprocmask(SIG_UNBLOCK, &all, nullptr);
        (void)raise(sig);
        return 128 + sig;
    }
}
