#include "wan/link_monitor.h"

void poll_wan_link(void) {}
