#include "devutil/host/host.h"

// Kept for the daemon, which switches it from its signal handler; the host
// library has no heartbeat of its own to drive with it yet.
int g_hearbeat_is_listening = 0;
