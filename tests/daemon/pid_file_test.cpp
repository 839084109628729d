#include "daemon/pid_file.h"
#include "host/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

TEST(PidFile, ThePidAndANewlineOverWhateverWasThere)
{
    const TempDir dir;
    const std::string path = dir.at("morvid.pid");
    const struct {
        const char *before; // nullptr: no file
        mode_t umask;
    } cases[] = {{nullptr, 022}, {"4194303\nstale second line\n", 022}, {"", 077}, {nullptr, 0}};
    mode_t saved = umask(0);
    for (const auto &c : cases) {
        unlink(path.c_str());
        if (c.before)
            dir.put("morvid.pid", c.before);
        umask(c.umask);
        write_pid_file_to(path.c_str());
        struct stat st = {};
        EXPECT_EQ(dir.get("morvid.pid"), std::to_string(getpid()) + "\n");
        EXPECT_EQ(stat(path.c_str(), &st), 0);
        if (!c.before) { // a new file: 0666 less the umask, as fopen makes it
            EXPECT_EQ(st.st_mode & 0777, 0666 & ~c.umask) << "umask " << c.umask;
        }
    }
    umask(saved);
    // No directory: no file, and no complaint.
    write_pid_file_to(dir.at("absent/morvid.pid").c_str());
    EXPECT_EQ(dir.get("absent/morvid.pid"), "<absent>");
}
