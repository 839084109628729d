// Real signals, sent with kill() to this process, reaching the real handler.
#include "daemon/signals.h"
#include "devutil/devutil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{

const int touched[] = {SIGCHLD, SIGUSR1, SIGUSR2, SIGHUP, SIGTERM, SIGINT, SIGPIPE, SIGALRM};

void inherited_handler(int) {}

class Signals : public ::testing::Test
{
  protected:
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

    // Runs deliver with standard output going into a pipe, and returns
    // what was written there.
    template <typename F> static std::string captured_stdout(F deliver)
    {
        int pipe_fds[2];
        EXPECT_EQ(pipe2(pipe_fds, O_NONBLOCK), 0);
        int real_stdout = dup(STDOUT_FILENO);
        dup2(pipe_fds[1], STDOUT_FILENO);
        deliver();
        dup2(real_stdout, STDOUT_FILENO);
        close(real_stdout);
        close(pipe_fds[1]);
        std::string out;
        char chunk[4096];
        ssize_t got;
        while ((got = read(pipe_fds[0], chunk, sizeof chunk)) > 0)
            out.append(chunk, static_cast<size_t>(got));
        close(pipe_fds[0]);
        return out;
    }

    static std::string line_for(int sig)
    {
        return "on_signal::recvd sig:" + std::to_string(sig) + "\n";
    }

    struct sigaction saved[std::size(touched)] = {};
};

void (*handler_of(int sig))(int)
{
    struct sigaction now = {};
    sigaction(sig, nullptr, &now);
    return now.sa_handler;
}

TEST_F(Signals, DispositionsAfterStartUp)
{
    EXPECT_EQ(handler_of(SIGCHLD), SIG_IGN);
    EXPECT_EQ(handler_of(SIGUSR1), on_signal);
    EXPECT_EQ(handler_of(SIGUSR2), on_signal);
    EXPECT_EQ(handler_of(SIGHUP), on_signal);
    // Everything else stays as inherited.
    EXPECT_EQ(handler_of(SIGTERM), inherited_handler);
    EXPECT_EQ(handler_of(SIGPIPE), SIG_IGN);
    EXPECT_EQ(handler_of(SIGALRM), SIG_DFL);
}

TEST_F(Signals, EachDeliveryLogsOneLineAndSwitchesTheFlag)
{
    struct Step {
        int sig;
        int flag_after;
    };
    const Step steps[] = {{SIGUSR1, 1}, {SIGUSR1, 1}, {SIGHUP, 1}, {SIGUSR2, 0},
                          {SIGUSR2, 0}, {SIGHUP, 0},  {SIGUSR1, 1}};
    for (const Step &step : steps) {
        std::string out = captured_stdout([&] { kill(getpid(), step.sig); });
        EXPECT_EQ(out, line_for(step.sig));
        EXPECT_EQ(g_hearbeat_is_listening, step.flag_after) << "after signal " << step.sig;
    }
}

TEST_F(Signals, HandlingPersistsOverManyDeliveries)
{
    const int rounds = 300;
    std::string expected;
    std::string out = captured_stdout([&] {
        for (int i = 0; i < rounds; ++i) {
            for (int sig : {SIGUSR1, SIGHUP, SIGUSR2}) {
                kill(getpid(), sig);
                expected += line_for(sig);
            }
        }
    });
    EXPECT_EQ(out, expected);
    EXPECT_EQ(handler_of(SIGUSR1), on_signal);
    EXPECT_EQ(handler_of(SIGUSR2), on_signal);
    EXPECT_EQ(handler_of(SIGHUP), on_signal);
}

TEST_F(Signals, InterruptedCodeKeepsItsErrnoEvenWhenTheLogWriteFails)
{
    // With standard output closed the handler's write fails with EBADF;
    // the code it interrupted must not see that.
    int real_stdout = dup(STDOUT_FILENO);
    close(STDOUT_FILENO);
    errno = EDOM;
    kill(getpid(), SIGUSR1);
    int seen = errno;
    dup2(real_stdout, STDOUT_FILENO);
    close(real_stdout);
    EXPECT_EQ(seen, EDOM);
    EXPECT_EQ(g_hearbeat_is_listening, 1);
}

} // namespace
