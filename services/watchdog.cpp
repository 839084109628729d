#include "services/watchdog.h"

void poll_services(void) {}
