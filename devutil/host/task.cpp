#include "devutil/host/host.h"
#include "devutil/host/io.h"

#include <sys/syscall.h>

// The kernel keeps 15 characters of a process name (TASK_COMM_LEN less the
// NUL), so an asked name is cut the same way before comparing.
enum { TASK_NAME_MAX = 15 };
// Services watched at once; more only costs the odd extra scan.
enum { TASK_SLOTS = 8 };
// Only "PID (NAME) S" is needed of a stat line: at most 7 digits, 15
// characters of name and the state, 28 bytes. What follows is numbers, so
// the last ')' read is the one that ends the name.
enum { STAT_READ_SIZE = 64 };
enum { DIRENT_BUFFER_SIZE = 2048 };
// pid_max is at most 2^22, so a longer number is no process.
enum { PID_DIGITS_MAX = 9 };

// Where the fields used lie in a getdents64 record, the kernel's struct
// linux_dirent64 (u64 inode, s64 offset, u16 length, u8 type, the name),
// the same on every architecture; C libraries do not all declare it.
enum { DIRENT_LENGTH_AT = 16, DIRENT_NAME_AT = 19, DIRENT_ALIGN = 8 };

// A process found for a name. Its stat file stays open, so confirming it
// later takes one pread; once the process has ended the descriptor reads
// nothing more (ESRCH), even if its pid is taken by another.
struct task_slot {
    char name[TASK_NAME_MAX + 1]; // empty when the slot is free
    int stat_fd;                  // -1 when none is open; unused in a free slot
    unsigned last_used;
};

static task_slot g_task_slots[TASK_SLOTS];
static unsigned g_task_clock;
static unsigned g_task_scans;

// The name is whatever the process set, spaces and ')' included, so it
// runs from the first '(' to the last ')'; the state follows ") ".
static bool parse_stat(const char *text, size_t size, const char **name, size_t *name_len,
                       char *state)
{
    const char *open = static_cast<const char *>(memchr(text, '(', size));
    const char *close = nullptr;
    for (size_t i = size; i > 0; --i) {
        if (text[i - 1] == ')') {
            close = text + i - 1;
            break;
        }
    }
    if (open == nullptr || close == nullptr || close < open)
        return false;
    if (static_cast<size_t>(close - text) + 2 >= size || close[1] != ' ')
        return false;
    *name = open + 1;
    *name_len = static_cast<size_t>(close - open - 1);
    *state = close[2];
    return true;
}

// One read of an open stat file: is it a live process of the name?
static bool stat_is_task(int fd, const char *name, size_t name_len)
{
    char text[STAT_READ_SIZE];
    ssize_t got = io_pread(fd, text, sizeof text, 0);
    if (got <= 0)
        return false;

    const char *comm;
    size_t comm_len;
    char state;
    if (!parse_stat(text, static_cast<size_t>(got), &comm, &comm_len, &state))
        return false;
    // Z is a zombie, X (x on older kernels) a process being torn down.
    if (state == 'Z' || state == 'X' || state == 'x')
        return false;
    return comm_len == name_len && memcmp(comm, name, name_len) == 0;
}

// The open stat file of proc_root/PID if it is a live process of the
// name, else -1. A process gone meanwhile simply is not.
static int open_if_task(const char *proc_root, const char *pid_text, const char *name,
                        size_t name_len)
{
    char path[HOST_PATH_SIZE];
    size_t len = 0;
    if (!path_add(path, &len, proc_root) || !path_add(path, &len, "/") ||
        !path_add(path, &len, pid_text) || !path_add(path, &len, "/stat"))
        return -1;
    int fd = io_open(path, O_RDONLY);
    if (fd < 0)
        return -1;
    if (stat_is_task(fd, name, name_len))
        return fd;
    (void)io_close(fd); // read-only: nothing is lost if close fails
    return -1;
}

// Whether a directory entry names a process: digits only, and no more
// than a pid can have (pid_max is at most 2^22).
static bool is_pid(const char *entry)
{
    size_t digits = 0;
    for (; entry[digits] != '\0'; ++digits) {
        if (entry[digits] < '0' || entry[digits] > '9' || digits == PID_DIGITS_MAX)
            return false;
    }
    return digits > 0;
}

// Every numeric entry of proc_root, read in stack-sized batches; the open
// stat file of the first live process of the name, or -1.
static int scan_for_task(const char *proc_root, const char *name, size_t name_len)
{
    ++g_task_scans;
    int dir = io_open(proc_root, O_RDONLY | O_DIRECTORY);
    if (dir < 0)
        return -1;
    alignas(DIRENT_ALIGN) char entries[DIRENT_BUFFER_SIZE];
    int found = -1;
    while (found < 0) {
        long got = syscall(SYS_getdents64, dir, entries, sizeof entries);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        // Only the record length and the NUL-terminated name are used.
        for (long at = 0; at < got && found < 0;) {
            unsigned short record;
            memcpy(&record, entries + at + DIRENT_LENGTH_AT, sizeof record);
            if (record == 0)
                break; // never sent, but it would loop here forever
            const char *entry = entries + at + DIRENT_NAME_AT;
            at += record;
            if (is_pid(entry))
                found = open_if_task(proc_root, entry, name, name_len);
        }
    }
    (void)io_close(dir); // read-only: nothing is lost if close fails
    return found;
}

static task_slot *slot_of(const char *name, size_t name_len)
{
    for (task_slot &slot : g_task_slots) {
        if (strlen(slot.name) == name_len && memcmp(slot.name, name, name_len) == 0)
            return &slot;
    }
    return nullptr;
}

// A free slot, else the least recently used one; ages are taken as
// differences so the clock may wrap.
static task_slot *slot_to_fill(void)
{
    task_slot *oldest = &g_task_slots[0];
    for (task_slot &slot : g_task_slots) {
        if (slot.name[0] == '\0')
            return &slot;
        if (g_task_clock - slot.last_used > g_task_clock - oldest->last_used)
            oldest = &slot;
    }
    return oldest;
}

static void slot_close(task_slot *slot)
{
    if (slot->name[0] != '\0' && slot->stat_fd >= 0)
        (void)io_close(slot->stat_fd); // read-only: nothing is lost if close fails
    slot->stat_fd = -1;
}

int host_task_is_running(const char *proc_root, const char *name)
{
    if (name == nullptr || name[0] == '\0')
        return 0;
    size_t name_len = strnlen(name, TASK_NAME_MAX);
    ++g_task_clock;

    task_slot *slot = slot_of(name, name_len);
    if (slot != nullptr) {
        slot->last_used = g_task_clock;
        if (slot->stat_fd >= 0 && stat_is_task(slot->stat_fd, name, name_len))
            return 1;
        // It ended, or became another program: look for the name afresh.
        slot_close(slot);
    }

    int fd = scan_for_task(proc_root, name, name_len);
    if (fd < 0) {
        if (slot != nullptr)
            slot->name[0] = '\0'; // its descriptor is closed already
        return 0;
    }
    if (slot == nullptr) {
        slot = slot_to_fill();
        slot_close(slot);
        memcpy(slot->name, name, name_len);
        slot->name[name_len] = '\0';
    }
    slot->stat_fd = fd;
    slot->last_used = g_task_clock;
    return 1;
}

void host_task_forget(void)
{
    for (task_slot &slot : g_task_slots)
        slot_close(&slot);
    memset(g_task_slots, 0, sizeof g_task_slots);
    g_task_clock = 0;
    g_task_scans = 0;
}

unsigned host_task_scans(void)
{
    return g_task_scans;
}

int task_is_running(const char *name)
{
    return host_task_is_running(HOST_PROC_ROOT, name);
}
