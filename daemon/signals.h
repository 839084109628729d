#ifndef MORVID_SIGNALS_H
#define MORVID_SIGNALS_H

/* SIGCHLD ignored; SIGUSR1, SIGUSR2 and SIGHUP to on_signal; SIGPIPE, where
 * at its default, caught and let pass; others as inherited. */
void set_signal_dispositions(void);

/* Logs the signal; SIGUSR1 and SIGUSR2 switch the library's heartbeat flag. */
void on_signal(int sig);

#endif
