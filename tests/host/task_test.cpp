#include "devutil/host/host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

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
        // The kernel keeps 15 characters of a name, and the name asked is cut the same way.
        {"114", "114 (zq_long_name_ov) S 1", "zq_long_name_over_15", 1},
        {"115", "115 (zq_long_name_ov) S 1", "zq_long_name_o", 0},
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
