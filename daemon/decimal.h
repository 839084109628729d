#ifndef MORVID_DECIMAL_H
#define MORVID_DECIMAL_H

/* Longest text put_decimal writes: a sign and ten digits. */
enum { DECIMAL_MAX = 11 };

/*
 * Writes value in decimal at out, with no terminating NUL, and returns the
 * end. Async-signal-safe, unlike the printf family, so the signal handler
 * can use it too. The host library has its own (put_int) on purpose: morvid
 * may run with the device's library instead, so they share no code.
 */
char *put_decimal(char *out, int value);

#endif
