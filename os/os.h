/*
 * The C library calls through which the daemon acts on the system.
 *
 * In morvid each is a direct call of the C library function of the same
 * name (os.cpp); the unit tests link a recording version instead, so that
 * the very same object code of the loop, the watchdog and the WAN monitor
 * runs against virtual time and touches nothing.
 */
#ifndef MORVID_OS_H
#define MORVID_OS_H

/* sleep(3): one wait of whole seconds; a handled signal ends it early. */
void os_sleep(unsigned seconds);
/* system(3): one shell command line, waited for. */
void os_system(const char *command);
/* unlink(2): remove a file if it is there. */
void os_unlink(const char *path);
/* Opens /dev/null on each of descriptors 0, 1 and 2 that is closed; first thing. */
void os_open_missing_standard_streams(void);
/* Standard output written out line by line, whatever it is; before any output. */
void os_line_buffered_output(void);
/* One line on standard output through the buffered stream. */
void os_say(const char *line);

#endif
