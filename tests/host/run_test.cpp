#include "devutil/host/host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

struct Runner : ::testing::Test, TempDir {
};

// _eval's vector is of char *; the strings live in args; an empty path is
// none. The caller's errno is left stale on purpose: only a failed call may
// be judged by it. Any directory will do as the configuration of a machine
// set up as a device.
static int eval(std::vector<std::string> args, std::string path = "", const char *config_dir = "/")
{
    std::vector<char *> argv(args.size() + 1, nullptr);
    std::transform(args.begin(), args.end(), argv.begin(), [](auto &arg) { return arg.data(); });
    errno = EINTR;
    return host_eval(config_dir, argv.data(), path.empty() ? nullptr : path.c_str());
}

// The command's exit status, 128 + the signal that ended it, or -1 for a
// request refused (a vector with no program, a time limit, a pid wanted).
TEST_F(Runner, ExitStatusPassedBack)
{
    const struct {
        std::vector<std::string> args;
        int expected;
    } cases[] = {
        {{"true"}, 0},
        {{"sh", "-c", "exit 7"}, 7},
        {{"zq_no_such_program_here"}, 127},
        {{"/nonexistent/zq"}, 127},
        {{"sh", "-c", "kill -TERM $$"}, 128 + SIGTERM},
        // A signal at the child in between changes nothing.
        {{"sh", "-c", "kill -TERM $PPID; exit 3"}, 3},
        {{}, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(eval(c.args), c.expected) << c.args.size();
    EXPECT_EQ(host_eval("/", nullptr, nullptr), -1);
    EXPECT_EQ(eval({"touch", at("ran")}, at("out")), -1); // neither ">" nor ">>"
    std::string ran = at("ran");
    char *touch[] = {const_cast<char *>("touch"), ran.data(), nullptr};
    int pid = 0;
    EXPECT_EQ(_eval(touch, nullptr, 5, nullptr), -1);
    EXPECT_EQ(_eval(touch, nullptr, 0, &pid), -1);
    EXPECT_EQ(get("ran"), "<absent>");
}

TEST_F(Runner, OutputTruncatedOrAppended)
{
    std::vector<std::string> both = {"sh", "-c", "echo out; echo err >&2"};
    put("log", "old\n");
    EXPECT_EQ(eval(both, ">" + at("log")), 0);
    EXPECT_EQ(eval(both, ">" + at("log")), 0);
    EXPECT_EQ(get("log"), "out\nerr\n");
    EXPECT_EQ(eval(both, ">>" + at("log")), 0);
    EXPECT_EQ(get("log"), "out\nerr\nout\nerr\n");
    // With no file the command writes where the caller does.
    std::string ours = "/proc/" + std::to_string(getpid()) + "/fd/1";
    EXPECT_EQ(eval({"sh", "-c", "[ /proc/$$/fd/1 -ef " + ours + " ]"}), 0);
    EXPECT_EQ(eval({"sh", "-c", "[ /proc/$$/fd/1 -ef /dev/null ] && touch " + at("ran")},
                   ">" + at("missing/dir/log")),
              0);
    EXPECT_EQ(get("ran"), "");
}

// A caller with some of its standard streams closed gets the output file
// as one of them: the command must still have it as stdout and stderr.
TEST_F(Runner, OutputReachesTheCommandWhateverStreamsTheCallerClosed)
{
    for (int closed_from : {STDERR_FILENO, STDOUT_FILENO, STDIN_FILENO}) {
        pid_t pid = fork();
        if (pid == 0) {
            for (int fd = closed_from; fd <= STDERR_FILENO; ++fd)
                close(fd);
            _exit(eval({"sh", "-c", "echo out; echo err >&2"}, ">" + at("log")));
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(get("log"), "out\nerr\n") << "closed from " << closed_from;
    }
}

// The command's status comes back whatever the caller does with SIGCHLD:
// ignored, or SA_NOCLDWAIT (the kernel reaps its children, their statuses
// lost), or a handler that reaps every child. Its disposition stays, and is
// not passed on to the command, nor is any blocked signal.
TEST_F(Runner, StatusComesBackWhateverTheCallerDoesWithSigchld)
{
    struct sigaction saved, ways[3] = {};
    ways[0].sa_handler = SIG_IGN;
    ways[1].sa_handler = SIG_DFL;
    ways[1].sa_flags = SA_NOCLDWAIT;
    ways[2].sa_handler = [](int) { // reaps every child, as a handler must: errno kept
        int saved = errno;
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        errno = saved;
    };
    std::string out = ">" + at("status");
    ASSERT_EQ(sigaction(SIGCHLD, nullptr, &saved), 0);
    for (struct sigaction &way : ways) {
        sigemptyset(&way.sa_mask);
        ASSERT_EQ(sigaction(SIGCHLD, &way, nullptr), 0);
        EXPECT_EQ(eval({"false"}), 1);
        EXPECT_EQ(eval({"zq_no_such_program_here"}), 127);
        EXPECT_EQ(eval({"sh", "-c", "sleep 0.2; exit 3"}), 3);
        // The command's own: no signal blocked, SIGCHLD not ignored.
        EXPECT_EQ(eval({"grep", "-E", "^Sig(Blk|Ign):", "/proc/self/status"}, out), 0);
        std::istringstream masks(get("status"));
        std::string name, blocked, ignored;
        masks >> name >> blocked >> name >> ignored;
        EXPECT_EQ(std::stoul(blocked, nullptr, 16), 0u);
        EXPECT_EQ(std::stoul(ignored, nullptr, 16) & (1ul << (SIGCHLD - 1)), 0u);
        struct sigaction now;
        ASSERT_EQ(sigaction(SIGCHLD, nullptr, &now), 0);
        EXPECT_TRUE(now.sa_handler == way.sa_handler &&
                    (now.sa_flags & SA_NOCLDWAIT) == (way.sa_flags & SA_NOCLDWAIT));
    }
    sigaction(SIGCHLD, &saved, nullptr);
}

// Where the library's configuration directory is missing the machine is no
// device (a workstation morvid was started on by mistake): nothing is run,
// and standard error says why, once.
TEST_F(Runner, NothingRunOffADevice)
{
    testing::internal::CaptureStderr();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(eval({"touch", at("ran")}, "", at("none").c_str()), -1);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(get("ran"), "<absent>");
    EXPECT_EQ(said, at("none") + " missing: not a device, libzuqutil runs no command\n");
    EXPECT_EQ(eval({"touch", at("ran")}, "", root.c_str()), 0);
    EXPECT_EQ(get("ran"), "");
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

// The output file, the report pipe and the LED file are closed again,
// however a call ends (the descriptors the task and link lookups keep:
// their own tests).
TEST_F(Runner, NoDescriptorLeftOpen)
{
    put("nvram", "led1_path=" + at("led1") + "\nled2_path=" + at("none/led2") + "\n");
    put("act", "#!/bin/sh\n", 0755);
    size_t before = open_descriptors();
    for (int i = 0; i < 3; ++i) {
        eval({"true"}, ">" + at("out"));
        eval({"true"}, ">" + at("none/out"));
        host_wan_action(at("act").c_str(), at("console").c_str(), "eth0", "start");
        host_set_led(at("nvram").c_str(), 1, i);
        host_set_led(at("nvram").c_str(), 2, i);
        host_nvram_get(at("nvram").c_str(), "x");
    }
    EXPECT_EQ(open_descriptors(), before);
}
