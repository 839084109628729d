// What the fuzz targets share: a directory of their own for the files they
// write, their working directory; a check that aborts saying what failed;
// and the lowest descriptor free, the same after a run as before it unless
// the run left one open.
#ifndef MORVID_TESTS_FUZZ_FUZZ_H
#define MORVID_TESTS_FUZZ_FUZZ_H

#include "temp_dir.h"

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

#define CHECK(cond) ((cond) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #cond), abort()))

inline int lowest_free_descriptor()
{
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(fd);
    return fd;
}

// Made at the first run, removed at exit.
inline const TempDir &dir()
{
    static const TempDir made;
    static const bool entered = chdir(made.root.c_str()) == 0;
    CHECK(entered);
    return made;
}

// A target's one run, on the input as text; around it, every target checks
// that it left no descriptor open.
static void fuzz_one(const std::string &input);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int fds = lowest_free_descriptor();
    fuzz_one(std::string(reinterpret_cast<const char *>(data), size));
    CHECK(lowest_free_descriptor() == fds);
    return 0;
}

#endif
