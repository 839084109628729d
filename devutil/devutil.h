/*
 * The device utility library (libzuqutil.so) as morvid uses it.
 *
 * This is the library's binary interface: the device's own library and the
 * host implementation in devutil/host both provide exactly these symbols,
 * and other tools on the device are built against them, so the signatures
 * must not change.
 */
#ifndef MORVID_DEVUTIL_H
#define MORVID_DEVUTIL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Link codes answered by getWanLinkState; the WAN monitor reuses them as its
 * states, with NONE (nothing seen yet) and DOWN_PENDING (loss seen once). */
enum {
    WAN_STATE_NONE = 0,
    WAN_LINK_DOWN = 1,
    WAN_LINK_UP = 2,
    WAN_LINK_DOWN_PENDING = 3,
};

/* Size of the scratch buffer handed to getWanLinkState. */
enum { WAN_LINK_BUF_SIZE = 32 };

int task_is_running(const char *name);
int GetSysUpTime(void);
int getWanLinkState(long port, char *buf, int flags);
int setLedLight(int led, int value);
int wan_start(const char *ifname);
int wan_stop(const char *ifname);
char *nvram_get(const char *name);
int _eval(char *const argv[], const char *path, int timeout, int *ppid);

/* Read by the library; morvid switches it from its signal handler. */
extern int g_hearbeat_is_listening; /* the library spells it so */

#ifdef __cplusplus
}
#endif

#endif
