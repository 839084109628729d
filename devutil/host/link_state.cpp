#include "devutil/host/host.h"
#include "devutil/host/io.h"

#include <sys/stat.h>

// IFNAMSIZ: an interface name has at most 15 characters.
enum { IFNAME_SIZE = 16 };

// The link is read every few seconds for years, so the steady state costs
// two system calls: a stat that tells the NVRAM store has not changed, and
// a pread of the carrier file kept open. Both are redone on any change.
// Where timestamps are coarse (whole seconds on ext2 with small inodes, or
// jffs2), a rewrite of the same size in the second the store was read in
// leaves its stat as it was: such a store is trusted only once read after
// that second (as git treats a "racily clean" file).

// The store as last looked at, and the interface it named then.
struct ifname_cache {
    bool known;
    char nvram_file[HOST_PATH_SIZE];
    bool exists;
    dev_t dev;
    ino_t ino;
    off_t size;
    struct timespec mtime;
    time_t read_at;         // when it was read, by the clock file times come from
    char name[IFNAME_SIZE]; // empty: the store names no usable interface
};

static ifname_cache g_ifname;

// The carrier file kept open, and its path.
static int g_carrier_fd = -1;
static char g_carrier_path[HOST_PATH_SIZE];

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

static bool same_store(const ifname_cache &cache, const char *nvram_file, bool exists,
                       const struct stat &st)
{
    if (!cache.known || strcmp(cache.nvram_file, nvram_file) != 0 || cache.exists != exists)
        return false;
    return !exists ||
           (cache.dev == st.st_dev && cache.ino == st.st_ino && cache.size == st.st_size &&
            cache.mtime.tv_sec == st.st_mtim.tv_sec && cache.mtime.tv_nsec == st.st_mtim.tv_nsec &&
            cache.read_at > st.st_mtim.tv_sec);
}

// The interface NVRAM names (by default eth0), or nullptr when it names
// none the kernel would accept.
static const char *wan_ifname(const char *nvram_file)
{
    struct stat st;
    memset(&st, 0, sizeof st);
    bool exists = stat(nvram_file, &st) == 0;
    if (same_store(g_ifname, nvram_file, exists, st))
        return g_ifname.name[0] != '\0' ? g_ifname.name : nullptr;

    g_ifname.known = false;
    size_t len = 0;
    if (!path_add(g_ifname.nvram_file, &len, nvram_file))
        return nullptr;
    // Taken before the read: a write after it gets this time or a later one.
    // Without a clock, never trusted.
    struct timespec now;
    time_t read_at = clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 ? now.tv_sec : 0;
    // Only a key that is absent means the default; one set to a value too
    // long to hand out is no interface.
    bool set = false;
    const char *name = exists ? host_nvram_get(nvram_file, "wan_ifname", &set) : nullptr;
    if (name == nullptr && !set)
        name = "eth0";
    g_ifname.name[0] = '\0';
    if (name != nullptr && valid_ifname(name))
        memcpy(g_ifname.name, name, strlen(name) + 1);
    g_ifname.exists = exists;
    g_ifname.dev = st.st_dev;
    g_ifname.ino = st.st_ino;
    g_ifname.size = st.st_size;
    g_ifname.mtime = st.st_mtim;
    g_ifname.read_at = read_at;
    g_ifname.known = true;
    return g_ifname.name[0] != '\0' ? g_ifname.name : nullptr;
}

static void drop_carrier(void)
{
    if (g_carrier_fd >= 0)
        (void)io_close(g_carrier_fd); // read-only: nothing is lost if close fails
    g_carrier_fd = -1;
    g_carrier_path[0] = '\0';
}

static bool open_carrier(const char *path)
{
    if (g_carrier_fd >= 0 && strcmp(path, g_carrier_path) == 0)
        return true;
    drop_carrier();
    g_carrier_fd = io_open(path, O_RDONLY);
    if (g_carrier_fd < 0)
        return false;
    memcpy(g_carrier_path, path, strlen(path) + 1);
    return true;
}

// Reads the carrier file at path into text; once more through a fresh
// descriptor if the kept one went stale (the interface was removed).
static ssize_t read_carrier(const char *path, char *text, size_t size)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!open_carrier(path))
            return -1;
        ssize_t got = io_pread(g_carrier_fd, text, size, 0);
        if (got >= 0 || errno == EINVAL)
            return got;
        drop_carrier();
    }
    return -1;
}

void host_link_forget(void)
{
    drop_carrier();
    memset(&g_ifname, 0, sizeof g_ifname);
}

int host_link_state(const char *net_root, const char *nvram_file)
{
    const char *ifname = wan_ifname(nvram_file);
    if (ifname == nullptr)
        return -1;

    char path[HOST_PATH_SIZE];
    size_t len = 0;
    if (!path_add(path, &len, net_root) || !path_add(path, &len, "/") ||
        !path_add(path, &len, ifname) || !path_add(path, &len, "/carrier"))
        return -1;
    char text[4];
    ssize_t got = read_carrier(path, text, sizeof text);
    int read_error = errno;

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
