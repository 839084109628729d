#include "devutil/host/host.h"
#include "devutil/host/io.h"

// IFNAMSIZ: an interface name has at most 15 characters.
enum { IFNAME_SIZE = 16 };

// The kernel's own rule for interface names: one it would refuse is no
// interface, and this keeps a garbled NVRAM value from reaching outside
// the class directory through '/' or "..".
static bool valid_ifname(const char *name)
{
    size_t len = strnlen(name, IFNAME_SIZE);
    if (len == 0 || len == IFNAME_SIZE)
        return false;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    return strpbrk(name, "/: \t\n\v\f\r") == nullptr;
}

int host_link_state(const char *net_root, const char *nvram_file)
{
    const char *ifname = host_nvram_get(nvram_file, "wan_ifname");
    if (ifname == nullptr)
        ifname = "eth0";
    if (!valid_ifname(ifname))
        return -1;

    char path[HOST_PATH_SIZE];
    size_t len = 0;
    if (!path_add(path, &len, net_root) || !path_add(path, &len, "/") ||
        !path_add(path, &len, ifname) || !path_add(path, &len, "/carrier"))
        return -1;
    int fd = io_open(path, O_RDONLY);
    if (fd < 0)
        return -1;
    char text[4];
    ssize_t got = io_read(fd, text, sizeof text);
    int read_error = errno;
    (void)io_close(fd); // read-only: nothing is lost if close fails

    // The kernel refuses to read the carrier of an interface that is
    // administratively down: its link is down all the same.
    if (got < 0)
        return read_error == EINVAL ? WAN_LINK_DOWN : -1;
    if (got == 2 && text[1] != '\n')
        return -1;
    if (got == 1 || got == 2) {
        if (text[0] == '1')
            return WAN_LINK_UP;
        if (text[0] == '0')
            return WAN_LINK_DOWN;
    }
    return -1;
}

int getWanLinkState(long port, char *buf, int flags)
{
    // The host has one WAN port and no detail to give.
    (void)port;
    (void)buf;
    (void)flags;
    return host_link_state(HOST_NET_ROOT, HOST_NVRAM_FILE);
}
