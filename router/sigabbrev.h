/* Short signal names ("TERM", "KILL") as glibc's sigabbrev_np gives them,
   for musl, which has no such call; the rest are left to numbers. */
#ifndef ROUTER_SIGABBREV_H
#define ROUTER_SIGABBREV_H
#include <signal.h>
#include <stddef.h>

static inline const char *sigabbrev_np(int sig)
{
    static const struct {
        int sig;
        const char *name;
    } names[] = {
        {SIGHUP, "HUP"},   {SIGINT, "INT"},   {SIGQUIT, "QUIT"}, {SIGABRT, "ABRT"},
        {SIGKILL, "KILL"}, {SIGSEGV, "SEGV"}, {SIGPIPE, "PIPE"}, {SIGALRM, "ALRM"},
        {SIGTERM, "TERM"}, {SIGUSR1, "USR1"}, {SIGUSR2, "USR2"}, {SIGCHLD, "CHLD"},
        {SIGCONT, "CONT"}, {SIGSTOP, "STOP"}, {SIGTSTP, "TSTP"}, {SIGWINCH, "WINCH"},
    };
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (names[i].sig == sig)
            return names[i].name;
    return NULL;
}
#endif
