// The measuring half of bench/run, linked against the host libzuqutil.so.
//
//   task_bench tasks OUTDIR COUNTS TOOL...
//       Run as PID 1 of a private PID namespace (unshare --pid --fork
//       --mount-proc), so that /proc holds only what this program starts.
//       For each count in COUNTS (comma-separated), grows the number of
//       idle processes to it and times task_is_running for a running name
//       (the remembered-pid path) and for a missing one (a full scan every
//       call), then whole runs of each TOOL ("label=command args", the
//       name looked for appended), and counts the system calls of each
//       with strace -c (files in OUTDIR). Prints one tab-separated row per
//       figure. Everything it started dies with the namespace.
//   task_bench probe NAME CALLS
//       One call of task_is_running(NAME), then CALLS more: traced by the
//       above to count system calls per call.
//   task_bench idle COUNT READY_FILE
//       Starts COUNT idle processes, writes its pid to READY_FILE ("-" for
//       none) once they are all there, and on SIGTERM kills them (by pid)
//       and ends.

#include "devutil/devutil.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// Named so that no real program matches, whatever the machine runs.
static const char TARGET_NAME[] = "benchsvc";
static const char MISSING_NAME[] = "benchnone";

enum { MAX_IDLE = 30000 };
enum { MAX_SAMPLES = 1001, MIN_SAMPLES = 11 };
enum { MAX_ARGS = 16, MAX_TOOLS = 8 };
// Timing of one figure goes on until this much time has passed (and at
// least MIN_SAMPLES were taken), so that each figure costs about as much
// whatever it measures.
static const double SAMPLE_BUDGET_S = 0.6;
// Calls per timed batch on the remembered-pid path, far above the clock's
// resolution and its own cost.
enum { FAST_BATCH = 1000 };

static pid_t g_idle[MAX_IDLE];
static int g_idle_count;
static volatile sig_atomic_t g_stop;

static void fail(const char *what)
{
    (void)fprintf(stderr, "task_bench: %s: %s\n", what, strerror(errno));
    exit(1);
}

static double now_s(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU time of this process, user and system: what another load on the
// machine does not inflate, unlike the wall clock.
static double cpu_now_s(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

static int compare_doubles(const void *a, const void *b)
{
    double x = *static_cast<const double *>(a);
    double y = *static_cast<const double *>(b);
    return (x > y) - (x < y);
}

static double median(double *values, int count)
{
    qsort(values, static_cast<size_t>(count), sizeof *values, compare_doubles);
    if (count % 2 == 1)
        return values[count / 2];
    return (values[count / 2 - 1] + values[count / 2]) / 2;
}

// A count given on the command line: a whole number, 0 or more.
static int parse_count(const char *text)
{
    char *end;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < 0 || value > INT_MAX) {
        errno = EINVAL;
        fail(text);
    }
    return static_cast<int>(value);
}

// ---- idle processes ---------------------------------------------------------

// A process that only waits, as cheap as one can be: a copy of this one
// sharing all its pages, under a name of its own.
static void grow_idle(int count)
{
    if (count > MAX_IDLE) {
        errno = E2BIG;
        fail("too many idle processes");
    }
    (void)fflush(nullptr);
    while (g_idle_count < count) {
        pid_t pid = fork();
        if (pid < 0)
            fail("fork");
        if (pid == 0) {
            (void)signal(SIGTERM, SIG_DFL);
            prctl(PR_SET_NAME, "idle");
            for (;;)
                pause();
        }
        g_idle[g_idle_count++] = pid;
    }
}

static void end_idle(void)
{
    for (int i = 0; i < g_idle_count; ++i)
        kill(g_idle[i], SIGKILL);
    for (int i = 0; i < g_idle_count; ++i)
        waitpid(g_idle[i], nullptr, 0);
    g_idle_count = 0;
}

static void on_term(int)
{
    g_stop = 1;
}

static int run_idle(int count, const char *ready_file)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_term;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);

    grow_idle(count);
    if (strcmp(ready_file, "-") != 0) {
        // Written whole under another name, then renamed: a reader never
        // sees half a pid.
        char partial[PATH_MAX];
        (void)snprintf(partial, sizeof partial, "%s.partial", ready_file);
        FILE *out = fopen(partial, "w");
        if (out == nullptr)
            fail(partial);
        (void)fprintf(out, "%d\n", static_cast<int>(getpid()));
        (void)fclose(out);
        if (rename(partial, ready_file) != 0)
            fail(ready_file);
    }
    while (!g_stop)
        pause();
    end_idle();
    return 0;
}

// ---- child programs ---------------------------------------------------------

// Runs argv with its output thrown away and waits for it; its exit status
// (-1 if it did not end normally) and the CPU time it used.
static int run_program(char *const argv[], double *cpu_used)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid;
    int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        errno = err;
        fail(argv[0]);
    }
    int status;
    struct rusage usage;
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            fail("wait4");
    }
    if (cpu_used != nullptr)
        *cpu_used = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The "calls" column of the total line of an strace -c summary.
static long strace_total(const char *path)
{
    FILE *in = fopen(path, "r");
    if (in == nullptr)
        fail(path);
    char line[512];
    long total = -1;
    while (fgets(line, sizeof line, in) != nullptr) {
        size_t len = strcspn(line, "\n");
        line[len] = '\0';
        if (len < 6 || strcmp(line + len - 6, " total") != 0)
            continue;
        // "% time, seconds, usecs/call, calls": the calls come fourth.
        const char *at = line;
        for (int field = 0; field < 3; ++field) {
            at += strspn(at, " ");
            at += strcspn(at, " ");
        }
        char *end;
        errno = 0;
        long calls = strtol(at, &end, 10);
        if (end != at && errno == 0)
            total = calls;
    }
    (void)fclose(in);
    if (total < 0) {
        errno = EINVAL;
        fail(path);
    }
    return total;
}

// System calls made by a run of argv, all its children included.
static long count_syscalls(const char *out_dir, const char *tag, char *const argv[])
{
    char path[PATH_MAX];
    (void)snprintf(path, sizeof path, "%s/strace-%s.txt", out_dir, tag);
    char *traced[MAX_ARGS + 8];
    int n = 0;
    traced[n++] = const_cast<char *>("strace");
    traced[n++] = const_cast<char *>("-f");
    traced[n++] = const_cast<char *>("-c");
    traced[n++] = const_cast<char *>("-o");
    traced[n++] = path;
    traced[n++] = const_cast<char *>("--");
    for (int i = 0; i < MAX_ARGS && argv[i] != nullptr; ++i)
        traced[n++] = argv[i];
    traced[n] = nullptr;
    if (run_program(traced, nullptr) < 0) {
        errno = ECHILD;
        fail("strace");
    }
    return strace_total(path);
}

// ---- measurements -----------------------------------------------------------

static void print_row(int others, const char *what, double median_s, int samples, double syscalls,
                      double cpu_used)
{
    printf("row\t%d\t%s\t%.3f\t%d\t%.1f\t%.3f\n", others, what, median_s * 1e6, samples, syscalls,
           cpu_used * 1e6);
    (void)fflush(stdout);
}

// Median time of one task_is_running(name) call, timed in batches, and
// the median CPU time of one.
static double time_calls(const char *name, int expect, int batch, int *samples, double *cpu)
{
    static double values[MAX_SAMPLES];
    static double cpu_values[MAX_SAMPLES];
    if (task_is_running(name) != expect) {
        errno = ESRCH;
        fail(name);
    }
    int count = 0;
    int sink = 0;
    double start = now_s();
    while (count < MAX_SAMPLES && (count < MIN_SAMPLES || now_s() - start < SAMPLE_BUDGET_S)) {
        double c0 = cpu_now_s();
        double t0 = now_s();
        for (int i = 0; i < batch; ++i)
            sink += task_is_running(name);
        values[count] = (now_s() - t0) / batch;
        cpu_values[count++] = (cpu_now_s() - c0) / batch;
    }
    if (sink != expect * batch * count) {
        errno = ESRCH;
        fail("an answer changed while timing");
    }
    *samples = count;
    *cpu = median(cpu_values, count);
    return median(values, count);
}

// Median wall time of a whole run of argv, spawn included, and the median
// CPU time the run used.
static double time_runs(char *const argv[], int *samples, double *cpu)
{
    static double values[MAX_SAMPLES];
    static double cpu_values[MAX_SAMPLES];
    if (run_program(argv, nullptr) != 0) {
        errno = ESRCH;
        fail(argv[0]);
    }
    int count = 0;
    double start = now_s();
    while (count < MAX_SAMPLES && (count < MIN_SAMPLES || now_s() - start < SAMPLE_BUDGET_S)) {
        double t0 = now_s();
        int status = run_program(argv, &cpu_values[count]);
        values[count++] = now_s() - t0;
        if (status != 0) {
            errno = ESRCH;
            fail(argv[0]);
        }
    }
    *samples = count;
    *cpu = median(cpu_values, count);
    return median(values, count);
}

// System calls per task_is_running call: a traced run of CALLS calls less
// one of none, both after the same first call.
static double syscalls_per_call(const char *out_dir, int others, const char *self, const char *name,
                                int calls)
{
    char tag[64], calls_text[16];
    (void)snprintf(calls_text, sizeof calls_text, "%d", calls);
    char *with[] = {const_cast<char *>(self), const_cast<char *>("probe"), const_cast<char *>(name),
                    calls_text, nullptr};
    char *without[] = {const_cast<char *>(self), const_cast<char *>("probe"),
                       const_cast<char *>(name), const_cast<char *>("0"), nullptr};
    (void)snprintf(tag, sizeof tag, "%d-%s-%d", others, name, calls);
    long many = count_syscalls(out_dir, tag, with);
    (void)snprintf(tag, sizeof tag, "%d-%s-0", others, name);
    long none = count_syscalls(out_dir, tag, without);
    return static_cast<double>(many - none) / calls;
}

struct tool {
    char *label;
    char *argv[MAX_ARGS + 2];
};

// "label=command args" into a tool whose last argument is the target name.
static void parse_tool(char *text, tool *out)
{
    char *equals = strchr(text, '=');
    if (equals == nullptr) {
        errno = EINVAL;
        fail(text);
    }
    *equals = '\0';
    out->label = text;
    int n = 0;
    for (char *word = strtok(equals + 1, " "); word != nullptr && n < MAX_ARGS;
         word = strtok(nullptr, " "))
        out->argv[n++] = word;
    out->argv[n++] = const_cast<char *>(TARGET_NAME);
    out->argv[n] = nullptr;
}

static pid_t start_target(const char *target_path)
{
    char *argv[] = {const_cast<char *>(target_path), const_cast<char *>("idle"),
                    const_cast<char *>("0"), const_cast<char *>("-"), nullptr};
    pid_t pid;
    int err = posix_spawn(&pid, target_path, nullptr, nullptr, argv, environ);
    if (err != 0) {
        errno = err;
        fail(target_path);
    }
    // Running under its own name once its exec is done.
    for (int i = 0; i < 200; ++i) {
        char path[64], comm[32] = "";
        (void)snprintf(path, sizeof path, "/proc/%d/comm", static_cast<int>(pid));
        FILE *in = fopen(path, "r");
        if (in != nullptr) {
            if (fgets(comm, sizeof comm, in) == nullptr)
                comm[0] = '\0';
            (void)fclose(in);
        }
        if (strcmp(comm, "benchsvc\n") == 0)
            return pid;
        usleep(10000);
    }
    errno = ETIMEDOUT;
    fail("target did not start");
    return -1;
}

static int run_tasks(const char *out_dir, char *counts, int tool_count, char **tool_texts)
{
    if (getpid() != 1) {
        (void)fprintf(stderr, "task_bench: tasks must run as PID 1 of a PID namespace of its own "
                              "(unshare --pid --fork --mount-proc)\n");
        return 2;
    }
    static tool tools[MAX_TOOLS];
    if (tool_count > MAX_TOOLS)
        tool_count = MAX_TOOLS;
    for (int i = 0; i < tool_count; ++i)
        parse_tool(tool_texts[i], &tools[i]);

    char self[PATH_MAX];
    ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0)
        fail("/proc/self/exe");
    self[len] = '\0';
    char target_path[PATH_MAX];
    (void)snprintf(target_path, sizeof target_path, "%.*s/%s",
                   static_cast<int>(strrchr(self, '/') - self), self, TARGET_NAME);
    pid_t target = start_target(target_path);
    printf("target\t%d\n", static_cast<int>(target));

    for (char *item = strtok(counts, ","); item != nullptr; item = strtok(nullptr, ",")) {
        int others = parse_count(item);
        double t0 = now_s();
        grow_idle(others);
        printf("grown\t%d\t%.3f\n", others, now_s() - t0);

        int samples;
        double cpu;
        double per_call = time_calls(TARGET_NAME, 1, FAST_BATCH, &samples, &cpu);
        double calls = syscalls_per_call(out_dir, others, self, TARGET_NAME, 1000);
        print_row(others, "fast", per_call, samples, calls, cpu);

        per_call = time_calls(MISSING_NAME, 0, 1, &samples, &cpu);
        int traced = others >= 10000 ? 3 : others >= 1000 ? 10 : 50;
        calls = syscalls_per_call(out_dir, others, self, MISSING_NAME, traced);
        print_row(others, "scan", per_call, samples, calls, cpu);

        for (int i = 0; i < tool_count; ++i) {
            double run_cpu;
            double per_run = time_runs(tools[i].argv, &samples, &run_cpu);
            char tag[64];
            (void)snprintf(tag, sizeof tag, "%d-%s", others, tools[i].label);
            long run_calls = count_syscalls(out_dir, tag, tools[i].argv);
            print_row(others, tools[i].label, per_run, samples, static_cast<double>(run_calls),
                      run_cpu);
        }
    }
    // Ending PID 1 ends every process of the namespace as well.
    return 0;
}

static int run_probe(const char *name, int calls)
{
    int sink = task_is_running(name);
    for (int i = 0; i < calls; ++i)
        sink += task_is_running(name);
    return sink >= 0 ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc >= 4 && strcmp(argv[1], "tasks") == 0)
        return run_tasks(argv[2], argv[3], argc - 4, argv + 4);
    if (argc == 4 && strcmp(argv[1], "probe") == 0)
        return run_probe(argv[2], parse_count(argv[3]));
    if (argc == 4 && strcmp(argv[1], "idle") == 0)
        return run_idle(parse_count(argv[2]), argv[3]);
    (void)fprintf(stderr, "usage: task_bench tasks OUTDIR COUNTS TOOL... | probe NAME CALLS | "
                          "idle COUNT READY_FILE\n");
    return 2;
}
