// The daemon's logic on the real C library calls: real waits, real
// commands, real signals. The device library is still the recording fake.
#include "fakes/fake_world.h"

#include "daemon/os.h"
#include "daemon/poll_loop.h"
#include "daemon/signals.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

class RealOs : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (size_t i = 0; i < std::size(sigs); ++i)
            sigaction(sigs[i], nullptr, &saved[i]);
        set_signal_dispositions();
        fake::reset();
        char tmpl[] = "/tmp/morvid-os-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }

    void TearDown() override
    {
        std::filesystem::remove_all(dir);
        for (size_t i = 0; i < std::size(sigs); ++i)
            sigaction(sigs[i], &saved[i], nullptr);
    }

    // A child that sends sig to us count times, every_ms apart, after
    // first_ms. SIGCHLD is ignored, so it never needs reaping.
    static void send_later(int sig, int first_ms, int count = 1, int every_ms = 0)
    {
        pid_t parent = getpid();
        if (fork() == 0) {
            usleep(static_cast<useconds_t>(first_ms) * 1000);
            for (int i = 0; i < count; ++i) {
                kill(parent, sig);
                usleep(static_cast<useconds_t>(every_ms) * 1000);
            }
            _exit(0);
        }
    }

    static double seconds_since(Clock::time_point start)
    {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    const int sigs[4] = {SIGCHLD, SIGUSR1, SIGUSR2, SIGHUP};
    struct sigaction saved[4] = {};
    std::string dir;
};

TEST_F(RealOs, HandledSignalDuringAWaitStartsThePassAtOnce)
{
    poll_state state = poll_state_initial();
    for (int sig : {SIGUSR1, SIGHUP}) {
        fake::reset();
        send_later(sig, 200);
        Clock::time_point start = Clock::now();
        poll_pass(&state);
        // The wait (10 s, then 5 s) was cut at about 0.2 s and the pass
        // went on with its work instead of sleeping the remainder.
        EXPECT_LT(seconds_since(start), 2.5) << "signal " << sig;
        ASSERT_FALSE(fake::trace().empty());
        EXPECT_EQ(fake::trace().front(), "GetSysUpTime");
    }
}

TEST_F(RealOs, CommandsAreWaitedForDespiteIgnoredChildrenAndSignals)
{
    std::string done = dir + "/done";
    std::string command = "sleep 0.3; echo finished > " + done;
    send_later(SIGUSR1, 20, 20, 10);
    os_system(command.c_str());
    std::ifstream in(done);
    std::string word;
    in >> word;
    EXPECT_EQ(word, "finished");
}

int zombie_children()
{
    int zombies = 0;
    DIR *proc = opendir("/proc");
    while (dirent *entry = readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        std::string after = line.substr(line.rfind(')') + 2);
        char state = after[0];
        int ppid = std::stoi(after.substr(2));
        if (ppid == getpid() && state == 'Z')
            ++zombies;
    }
    closedir(proc);
    return zombies;
}

TEST_F(RealOs, FinishedChildrenLeaveNoZombies)
{
    for (int i = 0; i < 64; ++i) {
        if (fork() == 0)
            _exit(0);
    }
    for (int i = 0; i < 8; ++i)
        os_system("true");
    usleep(200 * 1000);
    EXPECT_EQ(zombie_children(), 0);
}

} // namespace
