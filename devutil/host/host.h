/*
 * The host implementation of the device library, as its own sources and
 * tests see it.
 *
 * Each public entry point of devutil.h is a one-line wrapper around one of
 * the functions below, which take the places they read and write as
 * arguments, so the tests can point them at files and trees of their own.
 * Only the public entry points are exported from libzuqutil.so; everything
 * here keeps the hidden visibility the library is compiled with.
 */
#ifndef MORVID_DEVUTIL_HOST_H
#define MORVID_DEVUTIL_HOST_H

#pragma GCC visibility push(default)
#include "devutil/devutil.h"
#pragma GCC visibility pop

#include <time.h>

/* Where the public entry points look, the only place these are named. */
static const char HOST_PROC_ROOT[] = "/proc";
static const char HOST_NET_ROOT[] = "/sys/class/net";
static const char HOST_CONFIG_DIR[] = "/etc/zuqutil";
static const char HOST_NVRAM_FILE[] = "/etc/zuqutil/nvram";
static const char HOST_WAN_ACTION[] = "/etc/zuqutil/wan.action";
static const char HOST_CONSOLE[] = "/dev/console";
static const char HOST_NULL_DEVICE[] = "/dev/null";

/* 1 while a live process of that kernel name is in proc_root, else 0. */
int host_task_is_running(const char *proc_root, const char *name);
/* Empties the table of remembered pids and zeroes the scan count. */
void host_task_forget(void);
/* How many full scans of a proc root were needed so far. */
unsigned host_task_scans(void);

/* Whole seconds of the clock, saturated at INT_MAX; -1 if it can't be read. */
int host_uptime(clockid_t clock);

/* The value of key in the NVRAM text file, in a static buffer, or NULL; a
 * failed lookup leaves the buffer as it was. *set, if given, tells whether
 * the key is there at all, its value usable or not. */
char *host_nvram_get(const char *nvram_file, const char *key, bool *set = nullptr);

/* WAN_LINK_UP, WAN_LINK_DOWN or -1, for the interface NVRAM names. */
int host_link_state(const char *net_root, const char *nvram_file);
/* Closes the kept carrier file and forgets the interface looked up. */
void host_link_forget(void);

/* Writes value to the file NVRAM names for the LED: 0, or -1. */
int host_set_led(const char *nvram_file, int led, int value);

/* Runs "action_path IFNAME VERB" with its output appended to console and
 * returns its exit status; -1, running nothing, if it is not executable. */
int host_wan_action(const char *action_path, const char *console, const char *ifname,
                    const char *verb);

/* Runs argv (searched in PATH) and waits for it to end; output appended to
 * or truncating out_path, or inherited when it is NULL. */
int host_run(char *const argv[], const char *out_path, bool append);
/* _eval's arguments but for those it refuses (a time limit, a pid wanted):
 * path is NULL, ">FILE" or ">>FILE". Runs nothing and returns -1 where
 * config_dir is missing: the machine is no device. */
int host_eval(const char *config_dir, char *const argv[], const char *path);

#endif
