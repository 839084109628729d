#include "devutil/host/host.h"
#include "temp_dir.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

using Runner = TempDirTest;

// _eval's vector is of char *; the strings live in args. The caller's errno
// is left stale on purpose: only a failed call may be judged by it.
static int eval(std::vector<std::string> args, const char *path, int timeout = 0,
                int *ppid = nullptr)
{
    std::vector<char *> argv(args.size() + 1, nullptr);
    std::transform(args.begin(), args.end(), argv.begin(), [](auto &arg) { return arg.data(); });
    errno = EINTR;
    return host_eval(argv.data(), path, timeout, ppid);
}

// The command's exit status, 128 + the signal that ended it, or -1 for a
// request refused (a vector with no program, a time limit, a pid wanted).
TEST_F(Runner, ExitStatusPassedBack)
{
    int pid = 0;
    const struct {
        std::vector<std::string> args;
        int timeout;
        int *ppid;
        int expected;
    } cases[] = {
        {{"true"}, 0, nullptr, 0},
        {{"sh", "-c", "exit 7"}, 0, nullptr, 7},
        {{"zq_no_such_program_here"}, 0, nullptr, 127},
        {{"/nonexistent/zq"}, 0, nullptr, 127},
        {{"sh", "-c", "kill -TERM $$"}, 0, nullptr, 128 + SIGTERM},
        {{}, 0, nullptr, -1},
        {{"touch", at("ran")}, 5, nullptr, -1},
        {{"touch", at("ran")}, 0, &pid, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(eval(c.args, nullptr, c.timeout, c.ppid), c.expected) << c.args.size();
    EXPECT_EQ(host_eval(nullptr, nullptr, 0, nullptr), -1);
    EXPECT_EQ(eval({"touch", at("ran")}, at("out").c_str()), -1); // neither ">" nor ">>"
    EXPECT_EQ(get("ran"), "<absent>");
}

TEST_F(Runner, OutputTruncatedOrAppended)
{
    std::vector<std::string> both = {"sh", "-c", "echo out; echo err >&2"};
    std::string truncate = ">" + at("log"), append = ">>" + at("log");
    put("log", "old\n");
    EXPECT_EQ(eval(both, truncate.c_str()), 0);
    EXPECT_EQ(eval(both, truncate.c_str()), 0);
    EXPECT_EQ(get("log"), "out\nerr\n");
    EXPECT_EQ(eval(both, append.c_str()), 0);
    EXPECT_EQ(get("log"), "out\nerr\nout\nerr\n");
    std::string unopenable = ">" + at("missing/dir/log");
    EXPECT_EQ(eval({"sh", "-c", "echo lost; touch " + at("ran")}, unopenable.c_str()), 0);
    EXPECT_EQ(get("ran"), "");
}

// A caller with some of its standard streams closed gets the output file
// as one of them: the command must still have it as stdout and stderr.
TEST_F(Runner, OutputReachesTheCommandWhateverStreamsTheCallerClosed)
{
    std::string log = ">" + at("log");
    for (int closed_from : {STDERR_FILENO, STDOUT_FILENO, STDIN_FILENO}) {
        pid_t pid = fork();
        if (pid == 0) {
            for (int fd = closed_from; fd <= STDERR_FILENO; ++fd)
                close(fd);
            _exit(eval({"sh", "-c", "echo out; echo err >&2"}, log.c_str()));
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(get("log"), "out\nerr\n") << "closed from " << closed_from;
    }
}

static volatile sig_atomic_t g_usr1_count;

// A storm of SIGUSR1 at the test process while _eval waits, with and without
// SA_RESTART: _eval must still return only once the command has ended.
class EvalUnderSignals : public Runner, public ::testing::WithParamInterface<int>
{
};

TEST_P(EvalUnderSignals, WaitsForTheCommandToEnd)
{
    struct sigaction handler = {}, saved;
    handler.sa_handler = [](int) { g_usr1_count = g_usr1_count + 1; };
    handler.sa_flags = GetParam();
    sigemptyset(&handler.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &handler, &saved), 0);
    g_usr1_count = 0;
    pid_t parent = getpid(), sender = fork();
    if (sender == 0) {
        for (;;) {
            kill(parent, SIGUSR1);
            usleep(2000);
        }
    }
    int result = eval({"sh", "-c", "sleep 0.3; echo done >" + at("end")}, nullptr);
    std::string end = get("end");
    kill(sender, SIGKILL);
    waitpid(sender, nullptr, 0);
    sigaction(SIGUSR1, &saved, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(end, "done\n");
    EXPECT_GT(g_usr1_count, 10);
}

INSTANTIATE_TEST_SUITE_P(Restart, EvalUnderSignals, ::testing::Values(SA_RESTART, 0));

TEST_F(Runner, SigchldIgnoredStillWaitsAndIsNotPassedOn)
{
    struct sigaction ignore = {}, saved;
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ASSERT_EQ(sigaction(SIGCHLD, &ignore, &saved), 0);
    std::string out = ">" + at("status");
    int slow = eval({"sh", "-c", "sleep 0.2; echo done >" + at("end") + "; exit 3"}, nullptr);
    std::string end = get("end");
    int grep = eval({"grep", "^SigIgn:", "/proc/self/status"}, out.c_str());
    sigaction(SIGCHLD, &saved, nullptr);
    EXPECT_EQ(slow, 0); // the kernel reaped it: its status is gone
    EXPECT_EQ(end, "done\n");
    EXPECT_EQ(grep, 0);
    unsigned long ignored = std::stoul(get("status").substr(sizeof "SigIgn:"), nullptr, 16);
    EXPECT_EQ(ignored & (1ul << (SIGCHLD - 1)), 0u);
}

TEST_F(Runner, WanActionGetsInterfaceAndVerb)
{
    put("wan.action",
        "#!/bin/sh\necho \"$@\" >>" + at("args") +
            "\necho said $2\n[ $2 = stop ] && exit 3\nexit 0\n",
        0755);
    std::string action = at("wan.action"), console = at("console");
    EXPECT_EQ(host_wan_action(action.c_str(), console.c_str(), "eth1", "start"), 0);
    EXPECT_EQ(host_wan_action(action.c_str(), console.c_str(), "eth1", "stop"), 3);
    EXPECT_EQ(get("args"), "eth1 start\neth1 stop\n");
    EXPECT_EQ(get("console"), "said start\nsaid stop\n");

    EXPECT_EQ(host_wan_action(action.c_str(), console.c_str(), nullptr, "start"), -1);
    ASSERT_EQ(chmod(action.c_str(), 0644), 0);
    EXPECT_EQ(host_wan_action(action.c_str(), console.c_str(), "eth1", "start"), -1);
    EXPECT_EQ(host_wan_action(at("none").c_str(), console.c_str(), "eth1", "start"), -1);
    EXPECT_EQ(get("args"), "eth1 start\neth1 stop\n");
}

static size_t open_descriptors()
{
    auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(fds), end(fds)));
}

TEST_F(Runner, NoDescriptorLeftOpen)
{
    put("nvram", "led1_path=" + at("led1") + "\nled2_path=" + at("none/led2") + "\n");
    put("net/eth0/carrier", "1\n");
    put("act", "#!/bin/sh\n", 0755);
    std::string out = ">" + at("out"), lost = ">" + at("none/out");
    host_task_forget();
    host_link_forget();
    size_t before = open_descriptors();
    // Odd rounds: the process "f" has ended (its stat file reads nothing).
    auto round = [&](int i) {
        put("proc/7/stat", i % 2 == 0 ? "7 (f) S 1" : "");
        eval({"true"}, out.c_str());
        eval({"true"}, lost.c_str());
        host_wan_action(at("act").c_str(), at("console").c_str(), "eth0", "start");
        host_task_is_running(at("proc").c_str(), "f");
        host_task_is_running(at("proc").c_str(), "bar");
        host_link_state(at("net").c_str(), at("nvram").c_str());
        host_set_led(at("nvram").c_str(), 1, i);
        host_set_led(at("nvram").c_str(), 2, i);
        host_nvram_get(at("nvram").c_str(), "x");
    };
    round(0);
    // f's stat file and the carrier file stay open between calls, and
    // nothing else does, however often they are made.
    size_t kept = open_descriptors();
    EXPECT_EQ(kept, before + 2);
    for (int i = 1; i <= 20; ++i)
        round(i);
    EXPECT_EQ(open_descriptors(), kept);
    host_task_forget();
    host_link_forget();
    EXPECT_EQ(open_descriptors(), before);
}
