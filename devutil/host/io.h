/*
 * Small system-call helpers shared by the host library's sources.
 *
 * The host process has signal handlers of its own, so any of these calls
 * may be interrupted; they are retried rather than reported as failures
 * that nobody caused. Every descriptor is opened close-on-exec, so none
 * leaks into the programs the library runs.
 */
#ifndef MORVID_DEVUTIL_HOST_IO_H
#define MORVID_DEVUTIL_HOST_IO_H

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

/* Longest path the library builds, NUL included; longer ones are missing. */
enum { HOST_PATH_SIZE = 512 };

/* Longest decimal text of an int: a sign and ten digits. */
enum { HOST_INT_TEXT_MAX = 11 };

inline int io_open(const char *path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

inline ssize_t io_read(int fd, char *buf, size_t size)
{
    ssize_t got;
    do {
        got = read(fd, buf, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

inline ssize_t io_pread(int fd, char *buf, size_t size, off_t at)
{
    ssize_t got;
    do {
        got = pread(fd, buf, size, at);
    } while (got < 0 && errno == EINTR);
    return got;
}

inline bool io_write_all(int fd, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t done = write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

// Never retried: on Linux the descriptor is released even when close
// reports EINTR, and a retry could close one another call just opened.
inline bool io_close(int fd)
{
    return close(fd) == 0 || errno == EINTR;
}

/* Appends text to the path being built in path[HOST_PATH_SIZE] of length
 * *len; false, when it would not fit. */
inline bool path_add(char *path, size_t *len, const char *text)
{
    size_t size = strlen(text);
    if (size >= HOST_PATH_SIZE - *len)
        return false;
    memcpy(path + *len, text, size + 1);
    *len += size;
    return true;
}

/* Writes value in decimal at out, with no NUL, and returns the end. The
 * daemon has its own (put_decimal) on purpose: the library and morvid share
 * no code, for morvid may run with the device's library instead. */
inline char *put_int(char *out, int value)
{
    // Unsigned, so that INT_MIN has a magnitude too.
    unsigned magnitude =
        value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char digits[HOST_INT_TEXT_MAX];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *out++ = '-';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

#endif
