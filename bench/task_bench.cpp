// task_is_running of the host libzuqutil.so among many processes, as PID 1 of a PID namespace of
// its own (unshare --pid --fork --mount-proc): /proc holds only what it starts, all ending with it.
//   task_bench [--benchmark_...]  Google Benchmark: the remembered pid, the full scan
//   task_bench crowd N CMD...     CMD among N idle processes and the target
//   task_bench calls NAME K       one call, then K more (for strace -c); fails if an answer changed

#include "devutil/devutil.h"

#include <benchmark/benchmark.h>

#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

// Names no real program has, whatever the machine runs.
static char TARGET[] = "benchsvc";
static char MISSING[] = "benchnone";
static char IDLE[] = "idle";

struct idle {
    pid_t pid;
    char *stack;
};
static std::vector<idle> g_crowd;
static bool g_wrong_answer;
enum { IDLE_STACK = 16384 };

static void die(const char *what)
{
    perror(what);
    exit(1);
}

static int wait_forever(void *name)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    prctl(PR_SET_NAME, name);
    for (;;)
        pause();
}

// Grows or shrinks the crowd of idle processes to count. They share this process's memory
// (CLONE_VM): a fork copies the page tables, milliseconds each on a virtual machine.
static void set_crowd(size_t count)
{
    while (g_crowd.size() < count) {
        char *stack = static_cast<char *>(malloc(IDLE_STACK));
        pid_t pid = stack ? clone(wait_forever, stack + IDLE_STACK, CLONE_VM | SIGCHLD, IDLE) : -1;
        if (pid < 0)
            die("clone");
        g_crowd.push_back({pid, stack});
    }
    for (size_t i = count; i < g_crowd.size(); ++i)
        kill(g_crowd[i].pid, SIGKILL);
    for (size_t i = count; i < g_crowd.size(); ++i) {
        waitpid(g_crowd[i].pid, nullptr, 0);
        free(g_crowd[i].stack);
    }
    g_crowd.resize(count);
}

// The process looked for, named alike in argv[0] (pidof reads it) and comm (pgrep reads it).
static void start_target(void)
{
    pid_t pid = fork();
    if (pid < 0)
        die("fork");
    if (pid == 0) {
        char *argv[] = {TARGET, const_cast<char *>("target"), nullptr};
        execv("/proc/self/exe", argv);
        die("exec");
    }
    // Wait until the exec is done and the name is there.
    for (int i = 0; i < 500 && task_is_running(TARGET) == 0; ++i)
        usleep(10000);
    if (task_is_running(TARGET) == 0)
        die("target did not start");
}

// Remembered: the target found before, again; full scan: a name nothing has, all of /proc.
static void look(benchmark::State &state, const char *name, int answer)
{
    set_crowd(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        if (task_is_running(name) != answer) {
            state.SkipWithError("a wrong answer");
            g_wrong_answer = true;
            break;
        }
    }
    // The time per process present: the idle ones, the target and this one.
    if (answer == 0)
        state.counters["per_process"] = benchmark::Counter(
            static_cast<double>(state.range(0) + 2),
            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(look, remembered, TARGET, 1)->ArgsProduct({{0, 100, 1000, 10000}});
BENCHMARK_CAPTURE(look, full_scan, MISSING, 0)->ArgsProduct({{0, 100, 1000, 10000}});

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "target") == 0)
        return wait_forever(TARGET);
    if (argc == 4 && strcmp(argv[1], "calls") == 0) {
        int first = task_is_running(argv[2]);
        for (int i = atoi(argv[3]); i > 0; --i)
            if (task_is_running(argv[2]) != first)
                return 1; // an answer changed meanwhile
        return 0;
    }
    // Anything else starts processes, which must end with the namespace.
    if (getpid() != 1) {
        (void)fputs("task_bench: run it under unshare --pid --fork --mount-proc\n", stderr);
        return 2;
    }
    start_target();
    if (argc >= 4 && strcmp(argv[1], "crowd") == 0) {
        // CMD as a child: strace, as PID 1, would wait for the crowd too.
        set_crowd(static_cast<size_t>(atol(argv[2])));
        pid_t pid;
        int status;
        if (posix_spawnp(&pid, argv[3], nullptr, nullptr, argv + 3, environ) != 0 ||
            waitpid(pid, &status, 0) < 0)
            die(argv[3]);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    benchmark::SetDefaultTimeUnit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_wrong_answer ? 1 : 0;
}
