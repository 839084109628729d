// A fresh directory for the files and trees the code under test is pointed
// at: one per test, or per fuzz target's process. In memory where it can
// be: a disk's file system may write out a file truncated and written
// again, each fuzz run.
#ifndef MORVID_TESTS_HOST_TEMP_DIR_H
#define MORVID_TESTS_HOST_TEMP_DIR_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

struct TempDir {
    TempDir()
    {
        char in_memory[] = "/dev/shm/zq_XXXXXX", on_disk[] = "/tmp/zq_XXXXXX";
        const char *made = mkdtemp(in_memory) ? in_memory : mkdtemp(on_disk);
        root = made ? made : throw std::runtime_error("no temporary directory");
    }
    ~TempDir()
    {
        std::filesystem::remove_all(root);
    }
    std::string at(const std::string &rel) const
    {
        return root + "/" + rel;
    }
    void put(const std::string &rel, const std::string &text, int mode = 0644) const
    {
        std::filesystem::create_directories(std::filesystem::path(at(rel)).parent_path());
        if (!(std::ofstream(at(rel), std::ios::binary) << text))
            throw std::runtime_error("cannot write " + at(rel));
        std::filesystem::permissions(at(rel), std::filesystem::perms(mode));
    }
    // The file's content, or "<absent>".
    std::string get(const std::string &rel) const
    {
        std::ifstream in(at(rel), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return in ? text.str() : "<absent>";
    }
    std::string root;
};

inline size_t open_descriptors()
{
    auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(fds), end(fds)));
}

#endif
