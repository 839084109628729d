#include "devutil/host/host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

// A child of the test renamed as exec would name it; it pauses until killed,
// or exits at once (left a zombie) when exit_now is set. Returns once the
// new name is in place: the child closes its end of the pipe.
static pid_t start_named(const std::string &name, bool exit_now = false)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_NAME, name.c_str());
        if (exit_now)
            _exit(0);
        close(ready[1]);
        for (;;)
            pause();
    }
    close(ready[1]);
    char byte;
    (void)!read(ready[0], &byte, 1);
    close(ready[0]);
    return pid;
}

TEST(TaskIsRunning, FollowsRealProcessesByTheirKernelNames)
{
    host_task_forget();
    std::string name = "zq_t" + std::to_string(getpid());
    std::string long_name = "zq_long_" + std::to_string(getpid()) + "_name_over_15";
    EXPECT_EQ(task_is_running(name.c_str()), 0);
    pid_t pid = start_named(name), long_pid = start_named(long_name);
    ASSERT_GT(pid, 0);
    EXPECT_NE(task_is_running(name.c_str()), 0);
    EXPECT_NE(task_is_running(name.c_str()), 0); // now through the remembered pid
    // The kernel keeps 15 characters, and the name asked is cut the same way.
    EXPECT_NE(task_is_running(long_name.c_str()), 0);
    EXPECT_NE(task_is_running(long_name.substr(0, 15).c_str()), 0);
    EXPECT_EQ(task_is_running(long_name.substr(0, 14).c_str()), 0);
    for (pid_t each : {pid, long_pid}) {
        kill(each, SIGKILL);
        waitpid(each, nullptr, 0);
    }
    EXPECT_EQ(task_is_running(name.c_str()), 0);

    // Ended but not yet reaped: a zombie is not running.
    pid = start_named(name, true);
    siginfo_t info;
    ASSERT_EQ(waitid(P_PID, pid, &info, WEXITED | WNOWAIT), 0);
    EXPECT_EQ(task_is_running(name.c_str()), 0);
    waitpid(pid, nullptr, 0);
}

struct FakeProc : ::testing::Test, TempDir {
};

TEST_F(FakeProc, StatLinesParsedFromFirstParenToLast)
{
    const struct {
        const char *dir, *stat, *asked;
        int expected;
    } cases[] = {
        {"100", "100 (sshd) S 1 100 100 0 -1", "sshd", 1},
        {"101", "101 (my daemon) R 1 2 3", "my daemon", 1},
        {"102", "102 (a) b) S 1 2 3", "a) b", 1},
        {"103", "103 ((x)) S 1 2 3", "(x)", 1},
        {"104", "104 (dead) Z 1 2 3", "dead", 0},
        {"105", "105 (gone) X 1 2 3", "gone", 0},
        {"106", "106 (sshd2) S 1 2 3", "sshd2x", 0},
        {"107", "107 (httpd) S 1 2 3", "http", 0},
        {"108", "108 notparen S 1 2 3", "notparen", 0},
        {"109", "109 (nostate)", "nostate", 0},
        {"110", "", "x", 0},
        {"self", "1 (numericonly) S 1", "numericonly", 0},
        {"1000000000", "1000000000 (toolong) S 1", "toolong", 0}, // over pid_max
        {"111", "111 (short) S", "short", 1},
        {"112", "112 () S 1", "", 0},
        {"113", "113 (x)S 1", "x", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stat);
        std::filesystem::remove_all(at("proc"));
        put(std::string("proc/") + c.dir + "/stat", c.stat);
        host_task_forget();
        errno = EINTR; // stale: only a failed call may be judged by errno
        EXPECT_EQ(host_task_is_running(at("proc").c_str(), c.asked), c.expected);
    }
    // No proc root, or a path to a stat file too long for the library.
    put("proc/100/stat", "100 (x) S 1");
    std::string too_long = at("proc") + std::string(505 - at("proc").size(), '/');
    for (const std::string &root : {at("none"), too_long})
        EXPECT_EQ(host_task_is_running(root.c_str(), "x"), 0) << root.size();
}

TEST_F(FakeProc, RememberedPidAgreesWithAFullScanWhenReused)
{
    std::string proc = at("proc");
    // The answer with the remembered pid, then from scratch: they must agree.
    auto check = [&](int expected) {
        EXPECT_EQ(host_task_is_running(proc.c_str(), "foo"), expected);
        unsigned scans = host_task_scans();
        host_task_forget();
        EXPECT_EQ(host_task_is_running(proc.c_str(), "foo"), expected);
        return scans;
    };
    put("proc/100/stat", "100 (foo) S 1");
    host_task_forget();
    size_t before = open_descriptors();
    EXPECT_EQ(check(1), 1u);
    EXPECT_EQ(host_task_is_running(proc.c_str(), "foo"), 1);
    EXPECT_EQ(host_task_scans(), 1u); // confirmed by the one read, no scan

    put("proc/100/stat", "100 (bar) S 1"); // pid 100 reused by another program
    put("proc/200/stat", "200 (foo) S 1");
    EXPECT_EQ(check(1), 2u);
    // A real stat file of an ended process reads nothing more, even
    // through a descriptor kept open; an emptied file stands for that.
    put("proc/200/stat", "");
    std::filesystem::remove_all(at("proc/200"));
    EXPECT_EQ(host_task_is_running(proc.c_str(), "foo"), 0);
    EXPECT_EQ(open_descriptors(), before); // the ended one's stat file closed
}

// Eight names are remembered; a ninth (shorter than the one it replaces)
// takes the place of the one asked least recently, whether last found by a
// scan or confirmed, whose stat file is closed.
TEST_F(FakeProc, LeastRecentlyUsedNameIsForgottenFirst)
{
    std::string proc = at("proc");
    auto name = [](int i) { return i == 9 ? std::string("p") : "p" + std::to_string(i); };
    for (int i = 1; i <= 9; ++i)
        put("proc/" + std::to_string(i) + "/stat", std::to_string(i) + " (" + name(i) + ") S 1");
    auto ask = [&](int i) {
        EXPECT_EQ(host_task_is_running(proc.c_str(), name(i).c_str()), 1);
        return host_task_scans();
    };
    host_task_forget();
    size_t before = open_descriptors();
    for (int i = 1; i <= 8; ++i)
        ask(i);
    ask(1); // confirmed: p2 is now the least recently used
    const struct {
        int asked;
        unsigned scans_after;
    } steps[] = {{9, 9}, {2, 10}, {9, 10}, {1, 10}, {3, 11}};
    for (const auto &step : steps)
        EXPECT_EQ(ask(step.asked), step.scans_after) << "p" << step.asked;
    EXPECT_EQ(open_descriptors(), before + 8);
}
