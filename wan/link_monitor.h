#ifndef MORVID_LINK_MONITOR_H
#define MORVID_LINK_MONITOR_H

/* The state acted on last: WAN_STATE_NONE, WAN_LINK_DOWN, WAN_LINK_UP or
 * WAN_LINK_DOWN_PENDING (devutil.h). */
extern int g_wan_last_state;
/* The latest code read, whatever its value. */
extern int g_wan_cur_state;

/* Reads the WAN link once and acts on a debounced change. */
void poll_wan_link(void);

#endif
