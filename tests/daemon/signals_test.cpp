// Real signals, sent with kill() to this process, reaching the real handler.
#include "daemon/signals.h"
#include "devutil/devutil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>

const int touched[] = {SIGCHLD, SIGUSR1, SIGUSR2, SIGHUP, SIGTERM, SIGPIPE, SIGALRM};

static void inherited_handler(int) {}

static void (*handler_of(int sig))(int)
{
    struct sigaction now = {};
    sigaction(sig, nullptr, &now);
    return now.sa_handler;
}

// What is written on standard output, a pipe here, while act runs.
static std::string said_while(const std::function<void()> &act)
{
    int out[2], real_stdout = dup(STDOUT_FILENO);
    if (pipe2(out, O_NONBLOCK) != 0)
        return "<no pipe>";
    dup2(out[1], STDOUT_FILENO);
    act();
    dup2(real_stdout, STDOUT_FILENO);
    char line[64] = "";
    (void)!read(out[0], line, sizeof line - 1);
    for (int fd : {real_stdout, out[0], out[1]})
        close(fd);
    return line;
}

struct Signals : ::testing::Test {
    void SetUp() override
    {
        for (size_t i = 0; i < std::size(touched); ++i)
            sigaction(touched[i], nullptr, &saved[i]);
        // What a parent might hand over: the daemon must keep these as they are.
        signal(SIGTERM, inherited_handler);
        signal(SIGPIPE, SIG_IGN);
        signal(SIGALRM, SIG_DFL);
        set_signal_dispositions();
        g_hearbeat_is_listening = 0;
    }

    void TearDown() override
    {
        for (size_t i = 0; i < std::size(touched); ++i)
            sigaction(touched[i], &saved[i], nullptr);
    }

    struct sigaction saved[std::size(touched)] = {};
};

// Each delivery writes its line at once and switches the flag; the handler
// stays in place for the next one. Other signals keep what the daemon
// inherited.
TEST_F(Signals, EachDeliveryLogsOneLineAndSwitchesTheFlag)
{
    EXPECT_EQ(handler_of(SIGCHLD), SIG_IGN);
    EXPECT_EQ(handler_of(SIGTERM), inherited_handler);
    EXPECT_EQ(handler_of(SIGPIPE), SIG_IGN);
    EXPECT_EQ(handler_of(SIGALRM), SIG_DFL);
    const struct {
        int sig;
        int flag_after;
    } steps[] = {{SIGUSR1, 1}, {SIGUSR1, 1}, {SIGHUP, 1}, {SIGUSR2, 0},
                 {SIGUSR2, 0}, {SIGHUP, 0},  {SIGUSR1, 1}};
    for (const auto &step : steps) {
        EXPECT_EQ(said_while([&] { kill(getpid(), step.sig); }),
                  "on_signal::recvd sig:" + std::to_string(step.sig) + "\n");
        EXPECT_EQ(g_hearbeat_is_listening, step.flag_after) << "after signal " << step.sig;
        EXPECT_EQ(handler_of(step.sig), on_signal);
    }
}

// A log write that fails changes nothing else: with standard output closed
// (EBADF) the code interrupted keeps its errno and the flag is switched; a
// log reader that goes away (a pipe's) must not end the daemon: the write
// fails with EPIPE instead, and nothing is logged. SIGPIPE is caught, not
// ignored, so that what the daemon starts gets the default action back.
TEST_F(Signals, AFailedWriteChangesNothingElse)
{
    int seen = 0;
    said_while([&] {
        close(STDOUT_FILENO);
        errno = EDOM;
        kill(getpid(), SIGUSR1);
        seen = errno;
    });
    EXPECT_EQ(seen, EDOM);
    EXPECT_EQ(g_hearbeat_is_listening, 1);

    signal(SIGPIPE, SIG_DFL);
    set_signal_dispositions();
    ASSERT_NE(handler_of(SIGPIPE), SIG_DFL);
    EXPECT_NE(handler_of(SIGPIPE), SIG_IGN);
    int gone[2];
    ASSERT_EQ(pipe(gone), 0);
    close(gone[0]);
    ssize_t written = 0;
    std::string said = said_while([&] {
        written = write(gone[1], "run_boa\n", 8);
        seen = errno;
    });
    EXPECT_EQ(said, "") << "the handler said something";
    close(gone[1]);
    EXPECT_EQ(written, -1);
    EXPECT_EQ(seen, EPIPE);
}
