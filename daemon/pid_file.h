#ifndef MORVID_PID_FILE_H
#define MORVID_PID_FILE_H

/* Writes our pid and a newline to /var/run/morvid.pid; silent on failure. */
void write_pid_file(void);
/* The same, to any path. */
void write_pid_file_to(const char *path);

#endif
