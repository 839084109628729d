// Lines as they come from a stream (the daemon's output, the console, the WAN file): the complete
// ones logged, the rest kept; a line that fills the buffer is logged as it is, its rest as another.
#pragma once

#include "events.h"

struct lines {
    char buf[4096];
    size_t len;
    bool cut; // the buffer was logged whole, in the middle of a line
};

// Where the lines go: the event log, or a fuzz target's own record.
typedef void (*line_sink)(const char *source, const char *text, size_t len);

// One read of fd; its bytes also go to copy, where that is a descriptor.
inline bool read_lines(int fd, struct lines *l, const char *source, int copy = -1,
                       line_sink sink = event_log)
{
    ssize_t got = read(fd, l->buf + l->len, sizeof l->buf - l->len);
    if (got <= 0)
        return false;
    if (copy >= 0) // the transcript is for people; its lines are in the event log anyway
        (void)!write(copy, l->buf + l->len, static_cast<size_t>(got));
    l->len += static_cast<size_t>(got);
    size_t start = 0;
    for (size_t i = 0; i < l->len; ++i) {
        if (l->buf[i] != '\n')
            continue;
        size_t end = i > start && l->buf[i - 1] == '\r' ? i - 1 : i;
        // The bare end of a line logged whole is no line of its own.
        if (!l->cut || end > start)
            sink(source, l->buf + start, end - start);
        l->cut = false;
        start = i + 1;
    }
    if (l->len == sizeof l->buf && start == 0) {
        sink(source, l->buf, l->len);
        start = l->len;
        l->cut = true;
    }
    memmove(l->buf, l->buf + start, l->len - start);
    l->len -= start;
    return true;
}
