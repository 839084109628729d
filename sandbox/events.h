// The sandbox's event log, $SB/events (standard error outside a sandbox):
// one line per event, "<seconds.micros> <source> <text>", wall-clock time so
// that lines from every process of the sandbox, and from the scripts driving
// it, sort into one timeline.
#ifndef SANDBOX_EVENTS_H
#define SANDBOX_EVENTS_H

#include <stddef.h>
#include <time.h>

// Appends one event stamped with `when` (now when null): the first `len`
// bytes of `text`. The line goes out in a single O_APPEND write, so lines
// of many writers never interleave.
void event_log(const struct timespec *when, const char *source, const char *text, size_t len);

// The same for a whole NUL-terminated text.
void event_say(const struct timespec *when, const char *source, const char *text);

// "TERM", "KILL" ...; the number for signals without a short name.
const char *signal_abbrev(int sig, char *buf, size_t size);

#endif
