#include "daemon/pid_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::optional<std::string> contents(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(PidFile, ThePidAndANewlineOverWhateverWasThere)
{
    char dir[] = "/tmp/morvid-pidfile-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/morvid.pid";
    const struct {
        std::optional<std::string> before;
        mode_t umask;
    } cases[] = {
        {std::nullopt, 022}, {"4194303\nstale second line\n", 022}, {"", 077}, {std::nullopt, 0}};
    mode_t saved = umask(0);
    for (const auto &c : cases) {
        unlink(path.c_str());
        if (c.before)
            std::ofstream(path) << *c.before;
        umask(c.umask);
        write_pid_file_to(path.c_str());
        struct stat st = {};
        EXPECT_EQ(contents(path), std::to_string(getpid()) + "\n");
        EXPECT_EQ(stat(path.c_str(), &st), 0);
        if (!c.before) { // a new file: 0666 less the umask, as fopen makes it
            EXPECT_EQ(st.st_mode & 0777, 0666 & ~c.umask) << "umask " << c.umask;
        }
    }
    umask(saved);
    // No directory: no file, and no complaint.
    write_pid_file_to((std::string(dir) + "/absent/morvid.pid").c_str());
    EXPECT_EQ(contents(std::string(dir) + "/absent/morvid.pid"), std::nullopt);
    unlink(path.c_str());
    rmdir(dir);
}

} // namespace
