#ifndef MORVID_WATCHDOG_H
#define MORVID_WATCHDOG_H

/* Checks boa, then dnrd, and restarts one found absent twice. */
void poll_services(void);

#endif
