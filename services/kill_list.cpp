#include "services/kill_list.h"

const char *const KILL_LIST[] = {
    "boa",       "udhcpd",     "upnp",          "ripd",       "dnrd", "crond", "syslogd",
    "ntpclient", "smtpclient", "getdeviceinfo", "httphijack", "pppd", "pptp",  "bpalogin",
};

const unsigned KILL_LIST_LEN = sizeof KILL_LIST / sizeof KILL_LIST[0];
