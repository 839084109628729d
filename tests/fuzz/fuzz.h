// What the fuzz targets share: a directory of their own for the files they
// write (their working directory, in memory where it can be: a disk's file
// system may write out a file truncated and written again, each run), a
// check that aborts saying what failed, and the lowest descriptor free, the
// same at the end of a run as at its start unless the run left one open.
#ifndef MORVID_TESTS_FUZZ_FUZZ_H
#define MORVID_TESTS_FUZZ_FUZZ_H

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#define CHECK(cond) ((cond) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #cond), abort()))

inline int lowest_free_descriptor()
{
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(fd);
    return fd;
}

struct fuzz_dir {
    std::string path;
    fuzz_dir()
    {
        char in_memory[] = "/dev/shm/zq_fuzz_XXXXXX", on_disk[] = "/tmp/zq_fuzz_XXXXXX";
        const char *made = mkdtemp(in_memory) ? in_memory : mkdtemp(on_disk);
        CHECK(made != nullptr && chdir(made) == 0);
        path = made;
    }
    ~fuzz_dir()
    {
        std::filesystem::remove_all(path);
    }
    std::string at(const std::string &rel) const
    {
        return path + "/" + rel;
    }
    void put(const std::string &rel, const std::string &text) const
    {
        std::filesystem::create_directories(std::filesystem::path(at(rel)).parent_path());
        CHECK(std::ofstream(at(rel), std::ios::binary).write(text.data(), text.size()).good());
    }
};

// Made at the first run, removed at exit.
inline const fuzz_dir &dir()
{
    static fuzz_dir made;
    return made;
}

inline std::string text_of(const uint8_t *data, size_t size)
{
    return std::string(reinterpret_cast<const char *>(data), size);
}

#endif
