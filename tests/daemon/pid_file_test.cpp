#include "daemon/pid_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

class PidFile : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/morvid-pidfile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        path = dir + "/morvid.pid";
        old_umask = umask(022);
    }

    void TearDown() override
    {
        umask(old_umask);
        unlink(path.c_str());
        rmdir(dir.c_str());
    }

    static std::string read(const std::string &file)
    {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir;
    std::string path;
    mode_t old_umask = 0;
};

TEST_F(PidFile, HoldsThePidAndOneNewline)
{
    write_pid_file_to(path.c_str());
    EXPECT_EQ(read(path), std::to_string(getpid()) + "\n");
}

TEST_F(PidFile, ReplacesLongerOldContent)
{
    std::ofstream(path) << "4194303\nstale second line\n";
    write_pid_file_to(path.c_str());
    EXPECT_EQ(read(path), std::to_string(getpid()) + "\n");
}

TEST_F(PidFile, TakesDefaultPermissionsLessTheUmask)
{
    for (mode_t mask : {022, 077, 0}) {
        unlink(path.c_str());
        umask(mask);
        write_pid_file_to(path.c_str());
        struct stat st = {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "umask " << mask;
    }
}

TEST_F(PidFile, MissingDirectoryIsSilentlySkipped)
{
    std::string nowhere = dir + "/absent/morvid.pid";
    write_pid_file_to(nowhere.c_str());
    EXPECT_NE(access(nowhere.c_str(), F_OK), 0);
}

} // namespace
