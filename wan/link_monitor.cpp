#include "wan/link_monitor.h"

#include "os/os.h"
#include "devutil/devutil.h"

#include <string.h>

int g_wan_last_state = WAN_STATE_NONE;
int g_wan_cur_state = WAN_STATE_NONE;

// Handed to every read; the library may use it, we never look at it.
static char g_wan_scratch[WAN_LINK_BUF_SIZE];

static const char WAN_IFNAME[] = "eth0";
enum {
    WAN_LED = 1,
    LED_ON = 1,
    LED_OFF = 0,
    LINK_RECHECK_S = 2,
};

static int read_link(void)
{
    g_wan_cur_state = getWanLinkState(0, g_wan_scratch, 0);
    return g_wan_cur_state;
}

// A loss of link is believed only after a re-read in this pass and another
// down reading in a later pass; only then is the connection stopped.
static void on_link_down(void)
{
    if (g_wan_last_state == WAN_LINK_UP) {
        os_sleep(LINK_RECHECK_S);
        if (read_link() != WAN_LINK_DOWN)
            return; // a flap shorter than the re-read
    }
    setLedLight(WAN_LED, LED_ON);
    switch (g_wan_last_state) {
    case WAN_STATE_NONE:
        g_wan_last_state = WAN_LINK_DOWN;
        break;
    case WAN_LINK_UP:
        g_wan_last_state = WAN_LINK_DOWN_PENDING;
        break;
    case WAN_LINK_DOWN_PENDING:
        g_wan_last_state = WAN_LINK_DOWN;
        wan_stop(WAN_IFNAME);
        break;
    default: // already down
        break;
    }
}

static bool wan_proto_is_static(void)
{
    // An unset protocol may come back as NULL: that is simply not static.
    const char *proto = nvram_get("wan_proto");
    return proto != nullptr && strcmp(proto, "static") == 0;
}

static void on_link_up(void)
{
    if (g_wan_last_state == WAN_LINK_UP)
        return;
    if (g_wan_last_state == WAN_STATE_NONE) {
        // Up at our first look: the connection is taken as already started.
        g_wan_last_state = WAN_LINK_UP;
        return;
    }
    g_wan_last_state = WAN_LINK_UP;
    if (wan_proto_is_static())
        setLedLight(WAN_LED, LED_OFF);
    wan_start(WAN_IFNAME);
}

void poll_wan_link(void)
{
    switch (read_link()) {
    case WAN_LINK_DOWN:
        on_link_down();
        break;
    case WAN_LINK_UP:
        on_link_up();
        break;
    default: // an error or unknown code: look again next pass
        break;
    }
}
