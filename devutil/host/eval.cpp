#include "devutil/host/host.h"
#include "devutil/host/io.h"

#include <signal.h>
#include <sys/wait.h>

// What the command exits with when it cannot be executed, as in the shell.
enum { EXIT_NOT_RUN = 127 };

// Between fork and exec only async-signal-safe calls: another thread of
// the caller may have held a lock at the fork. execvp is not on POSIX's
// list, but glibc and musl build its candidate paths on the stack.
[[noreturn]] static void exec_child(char *const argv[], int out)
{
    // A caller that ignores SIGCHLD to have its children reaped must not
    // pass that on: a shell script's own waits would fail. Handled
    // signals are reset by exec anyway.
    struct sigaction fresh = {};
    fresh.sa_handler = SIG_DFL;
    (void)sigemptyset(&fresh.sa_mask);
    (void)sigaction(SIGCHLD, &fresh, nullptr);
    sigset_t none;
    (void)sigemptyset(&none);
    (void)sigprocmask(SIG_SETMASK, &none, nullptr);

    if (out >= 0) {
        // The file may have been opened as 1 or 2 by a caller with those
        // closed; dup2 onto itself would leave it close-on-exec.
        if (out <= STDERR_FILENO)
            out = fcntl(out, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        if (out < 0)
            _exit(EXIT_NOT_RUN);
        for (int target = STDOUT_FILENO; target <= STDERR_FILENO; ++target) {
            int fd;
            do {
                fd = dup2(out, target);
            } while (fd < 0 && errno == EINTR);
            if (fd < 0)
                _exit(EXIT_NOT_RUN);
        }
    }
    (void)execvp(argv[0], argv);
    _exit(EXIT_NOT_RUN);
}

// The child's exit status, 128 + the signal that killed it, or -1.
static int wait_for(pid_t pid)
{
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, 0);
        if (done == pid)
            break;
        if (done < 0 && errno == EINTR)
            continue;
        // With SIGCHLD ignored the kernel reaps the child itself, and
        // waitpid says ECHILD once it has ended: it ran, its status is gone.
        if (done < 0 && errno == ECHILD)
            return 0;
        return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

int host_run(char *const argv[], const char *out_path, bool append)
{
    if (argv == nullptr || argv[0] == nullptr)
        return -1;
    // Opened before the fork, so the child only has to dup2; a file that
    // cannot be opened must not keep the command from running.
    int out = -1;
    if (out_path != nullptr) {
        out = io_open(out_path, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0666);
        if (out < 0)
            out = io_open(HOST_NULL_DEVICE, O_WRONLY);
    }
    pid_t pid = fork();
    if (pid == 0)
        exec_child(argv, out);
    if (out >= 0)
        (void)io_close(out); // the child has its own copy
    if (pid < 0)
        return -1;
    return wait_for(pid);
}

int host_eval(char *const argv[], const char *path, int timeout, const int *ppid)
{
    // Running in the background or with a time limit is not supported;
    // refusing beats waiting where the caller expects not to.
    if (timeout != 0 || ppid != nullptr)
        return -1;
    if (path == nullptr)
        return host_run(argv, nullptr, false);
    if (path[0] != '>')
        return -1;
    bool append = path[1] == '>';
    return host_run(argv, path + (append ? 2 : 1), append);
}

int _eval(char *const argv[], const char *path, int timeout, int *ppid)
{
    return host_eval(argv, path, timeout, ppid);
}
