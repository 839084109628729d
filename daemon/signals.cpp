#include "daemon/signals.h"

#include "daemon/decimal.h"
#include "devutil/devutil.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

// SA_RESTART so that a signal never breaks a read, write or wait in progress
// (a console write, _eval waiting for killall); sleep is never restarted,
// so a signal still ends the loop's wait early, as wanted.
static void install(int sig, void (*handler)(int))
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    (void)sigaction(sig, &action, nullptr);
}

// Does nothing, so that a write to a pipe whose reader has gone (a logger,
// procd's) fails with EPIPE instead of ending the daemon.
static void on_broken_pipe(int) {}

void set_signal_dispositions(void)
{
    // Ignoring SIGCHLD lets the kernel reap every finished child.
    install(SIGCHLD, SIG_IGN);
    install(SIGUSR1, on_signal);
    install(SIGUSR2, on_signal);
    install(SIGHUP, on_signal);
    // Caught, not ignored: an ignored SIGPIPE would pass on to boa, dnrd and
    // every command run. One the parent ignores stays ignored, as every
    // inherited disposition stays as it is.
    struct sigaction pipe_now;
    if (sigaction(SIGPIPE, nullptr, &pipe_now) == 0 && pipe_now.sa_handler == SIG_DFL)
        install(SIGPIPE, on_broken_pipe);
}

static char *put_text(char *out, const char *text)
{
    while (*text != '\0')
        *out++ = *text++;
    return out;
}

void on_signal(int sig)
{
    int saved_errno = errno;

    // One write of a whole line, so it never mixes into a line the loop is
    // writing and takes no stdio lock the loop may hold.
    char line[sizeof "on_signal::recvd sig:\n" + DECIMAL_MAX];
    char *end = put_text(line, "on_signal::recvd sig:");
    end = put_decimal(end, sig);
    *end++ = '\n';
    // A failed write (standard output closed or gone) has nowhere else to
    // be told; the flag below is switched all the same.
    ssize_t written = write(STDOUT_FILENO, line, static_cast<size_t>(end - line));
    (void)written;

    if (sig == SIGUSR1)
        g_hearbeat_is_listening = 1;
    else if (sig == SIGUSR2)
        g_hearbeat_is_listening = 0;

    // Re-armed on every delivery, so handling persists even under C
    // libraries whose handlers are one-shot.
    install(sig, on_signal);
    errno = saved_errno;
}
