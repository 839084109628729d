#ifndef MORVID_LINK_MONITOR_H
#define MORVID_LINK_MONITOR_H

/* Reads the WAN link once and acts on a debounced change. */
void poll_wan_link(void);

#endif
