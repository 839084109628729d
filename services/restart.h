#ifndef MORVID_RESTART_H
#define MORVID_RESTART_H

/* Kills the services of the kill list, then starts the web server. */
void run_boa(void);
/* Kills any leftover DNS relay, then starts it. */
void run_dnrd(void);

#endif
