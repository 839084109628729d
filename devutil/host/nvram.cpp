#include "devutil/host/host.h"
#include "devutil/host/io.h"

#include <sys/stat.h>

// Longest value handed out, NUL included; a longer one is never cut.
enum { NVRAM_VALUE_SIZE = 256 };
// The file is read in chunks this big, so it may be of any size up to the
// bound, 128 KiB: far more than any device's NVRAM holds.
enum { NVRAM_CHUNK_SIZE = 512, NVRAM_CHUNKS_MAX = 256 };

// The value last handed out; a failed lookup leaves it as it was, for the
// caller may still hold it.
static char g_nvram_value[NVRAM_VALUE_SIZE];

// Where a line stands as it streams by: only the asked key is matched and
// only its value kept, so no line needs to fit anywhere.
enum line_part { LINE_START, IN_KEY, IN_VALUE, SKIPPING };

char *host_nvram_get(const char *nvram_file, const char *key, bool *set)
{
    if (set != nullptr)
        *set = false;
    if (key == nullptr || key[0] == '\0')
        return nullptr;
    // Only a regular file is a store: a FIFO would block the open or the
    // reads, a device might never end.
    int fd = io_open(nvram_file, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat st;
    unsigned chunks_left = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? NVRAM_CHUNKS_MAX : 0;

    size_t key_len = strlen(key);
    size_t matched = 0;
    size_t value_len = 0;
    line_part part = LINE_START;
    bool done = false;     // the value's line has ended
    bool too_long = false; // the first match has a value too long to hand out
    // A value handed out and the '\r' that may end it; its NUL goes into
    // g_nvram_value.
    char value[NVRAM_VALUE_SIZE];
    char chunk[NVRAM_CHUNK_SIZE];
    while (!done) {
        // Past the bound, or in what is no regular file, as if unreadable.
        ssize_t got = chunks_left-- > 0 ? io_read(fd, chunk, sizeof chunk) : -1;
        if (got < 0)
            part = SKIPPING; // an unreadable store has no value to give
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got && !done; ++i) {
            char c = chunk[i];
            if (c == '\n') {
                done = part == IN_VALUE;
                part = LINE_START;
                matched = 0;
                continue;
            }
            switch (part) {
            case LINE_START:
                if (c == '#') {
                    part = SKIPPING;
                    break;
                }
                part = IN_KEY;
                [[fallthrough]];
            case IN_KEY:
                // The first '=' ends the key, which must match whole.
                if (c == '=')
                    part = matched == key_len ? IN_VALUE : SKIPPING;
                else if (matched < key_len && c == key[matched])
                    ++matched;
                else
                    part = SKIPPING;
                break;
            case IN_VALUE:
                if (value_len == sizeof value) {
                    too_long = true;
                    done = true;
                    break;
                }
                value[value_len++] = c;
                break;
            case SKIPPING:
                break;
            }
        }
    }
    (void)io_close(fd); // read-only: nothing is lost if close fails

    if (set != nullptr)
        *set = done || part == IN_VALUE;
    if (!done && part == IN_VALUE)
        done = true; // the last line, with no newline
    if (!done || too_long)
        return nullptr;
    if (value_len > 0 && value[value_len - 1] == '\r')
        --value_len;
    if (value_len >= NVRAM_VALUE_SIZE)
        return nullptr;
    memcpy(g_nvram_value, value, value_len);
    g_nvram_value[value_len] = '\0';
    return g_nvram_value;
}

char *nvram_get(const char *name)
{
    return host_nvram_get(HOST_NVRAM_FILE, name);
}
