#include "devutil/host/host.h"
#include "devutil/host/io.h"

#include <signal.h>
#include <sys/wait.h>

// What the command exits with when it cannot be executed, as in the shell.
enum { EXIT_NOT_RUN = 127 };

static bool g_said_no_device;

// Between fork and exec only async-signal-safe calls: another thread of
// the caller may have held a lock at the fork. execvp is not on POSIX's
// list, but glibc and musl build its candidate paths on the stack.
[[noreturn]] static void exec_child(char *const argv[], int out)
{
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

// The command's exit status, 128 + the signal that killed it, or -1.
static int wait_for(pid_t pid)
{
    int status = 0;
    pid_t done;
    do {
        done = waitpid(pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    if (done != pid)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// A caller that ignores SIGCHLD (or sets SA_NOCLDWAIT) has its children
// reaped by the kernel, their statuses lost; one with a handler may reap
// them first. So a child in between, with SIGCHLD at its default, runs the
// command, waits for it and sends its status up a pipe. The caller's own
// disposition is never touched: its handler and its other threads may
// look at it any time.
[[noreturn]] static void waiting_child(char *const argv[], const char *out_path, bool append,
                                       int report)
{
    // Nor is it passed on: a shell script's own waits would fail. The
    // caller's handlers are not this child's to run (a signal to the
    // process group would have it speak as the caller): all blocked here,
    // the command gets an empty mask and exec resets the handlers.
    struct sigaction fresh = {};
    fresh.sa_handler = SIG_DFL;
    (void)sigemptyset(&fresh.sa_mask);
    (void)sigaction(SIGCHLD, &fresh, nullptr);
    sigset_t all;
    (void)sigfillset(&all);
    (void)sigprocmask(SIG_SETMASK, &all, nullptr);

    // A file that cannot be opened must not keep the command from running.
    int out = -1;
    if (out_path != nullptr) {
        out = io_open(out_path, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0666);
        if (out < 0)
            out = io_open(HOST_NULL_DEVICE, O_WRONLY);
    }
    pid_t pid = fork();
    if (pid == 0)
        exec_child(argv, out);
    // Where the fork failed there is no child to wait for: -1.
    int status = wait_for(pid);
    // Four bytes into an empty pipe go whole and at once: never blocked,
    // so never interrupted.
    ssize_t sent = write(report, &status, sizeof status);
    (void)sent;
    _exit(0);
}

int host_run(char *const argv[], const char *out_path, bool append)
{
    int report[2];
    if (argv == nullptr || argv[0] == nullptr || pipe2(report, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0)
        waiting_child(argv, out_path, append, report[1]);
    // The pipe ends when the child in between does, status sent or not.
    (void)io_close(report[1]);
    // Left at -1 where that child ended without a word (four bytes written
    // at once are read at once).
    int status = -1;
    (void)io_read(report[0], reinterpret_cast<char *>(&status), sizeof status);
    (void)io_close(report[0]);
    // Reaped here, unless the kernel or the caller's handler has done so.
    while (pid > 0 && waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// A machine without the library's configuration is no device, but, say, a
// workstation the daemon was started on by mistake: its services are not
// ours to kill. Said once, on standard error.
static bool is_device(const char *config_dir)
{
    static const char why[] = " missing: not a device, libzuqutil runs no command\n";
    if (access(config_dir, F_OK) == 0)
        return true;
    // Nothing is lost but a word if a signal cuts the writes short.
    if (!g_said_no_device) {
        g_said_no_device = true;
        if (write(STDERR_FILENO, config_dir, strlen(config_dir)) >= 0) {
            ssize_t said = write(STDERR_FILENO, why, sizeof why - 1);
            (void)said;
        }
    }
    return false;
}

int host_eval(const char *config_dir, char *const argv[], const char *path)
{
    if (!is_device(config_dir))
        return -1;
    if (path == nullptr)
        return host_run(argv, nullptr, false);
    if (path[0] != '>')
        return -1;
    bool append = path[1] == '>';
    return host_run(argv, path + (append ? 2 : 1), append);
}

// The signature is the library's binary interface, const or not.
// cppcheck-suppress constParameter
int _eval(char *const argv[], const char *path, int timeout, int *ppid)
{
    // Running in the background or with a time limit is not supported;
    // refusing beats waiting where the caller expects not to.
    if (timeout != 0 || ppid != nullptr)
        return -1;
    return host_eval(HOST_CONFIG_DIR, argv, path);
}
