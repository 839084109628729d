#include "devutil/host/host.h"
#include "devutil/host/io.h"

// Longest value handed out, NUL included; a longer one is never cut.
enum { NVRAM_VALUE_SIZE = 256 };
// The file is read in chunks this big, so it may be of any size.
enum { NVRAM_CHUNK_SIZE = 512 };

// One more than a value may use, for a '\r' before the newline.
static char g_nvram_value[NVRAM_VALUE_SIZE + 1];

// Where a line stands as it streams by: only the asked key is matched and
// only its value kept, so no line needs to fit anywhere.
enum line_part { LINE_START, IN_KEY, IN_VALUE, SKIPPING };

char *host_nvram_get(const char *nvram_file, const char *key)
{
    if (key == nullptr || key[0] == '\0')
        return nullptr;
    int fd = io_open(nvram_file, O_RDONLY);
    if (fd < 0)
        return nullptr;

    size_t key_len = strlen(key);
    size_t matched = 0;
    size_t value_len = 0;
    line_part part = LINE_START;
    bool done = false;     // the value's line has ended
    bool too_long = false; // the first match has a value too long to hand out
    bool newline = false;  // the value ended with a newline
    char chunk[NVRAM_CHUNK_SIZE];
    while (!done) {
        ssize_t got = io_read(fd, chunk, sizeof chunk);
        if (got < 0)
            part = SKIPPING; // an unreadable store has no value to give
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got && !done; ++i) {
            char c = chunk[i];
            if (c == '\n') {
                done = part == IN_VALUE;
                newline = done;
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
                if (value_len == sizeof g_nvram_value) {
                    too_long = true;
                    done = true;
                    break;
                }
                g_nvram_value[value_len++] = c;
                break;
            case SKIPPING:
                break;
            }
        }
    }
    (void)io_close(fd); // read-only: nothing is lost if close fails

    if (!done && part == IN_VALUE)
        done = true; // the last line, with no newline
    if (!done || too_long)
        return nullptr;
    if (newline && value_len > 0 && g_nvram_value[value_len - 1] == '\r')
        --value_len;
    if (value_len >= NVRAM_VALUE_SIZE)
        return nullptr;
    g_nvram_value[value_len] = '\0';
    return g_nvram_value;
}

char *nvram_get(const char *name)
{
    return host_nvram_get(HOST_NVRAM_FILE, name);
}
