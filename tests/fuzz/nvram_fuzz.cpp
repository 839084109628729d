// The NVRAM store against its model. The input's first line names keys,
// a word each; the rest is the store. A lookup that fails leaves the value
// an earlier one returned as it was.
#include "devutil/host/host.h"
#include "fuzz.h"
#include "store_model.h"

#include <string.h>

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int fds = lowest_free_descriptor();
    std::string input = text_of(data, size);
    size_t eol = input.find('\n');
    if (eol == std::string::npos)
        return 0;
    std::string store = input.substr(eol + 1), path = dir().at("nvram");
    dir().put("nvram", store);
    std::istringstream words(input.substr(0, eol));
    const char *kept = nullptr;
    std::string kept_value;
    for (std::string key; words >> key;) {
        // Not keys: the first '=' ends one, '#' starts a comment, NUL a C string.
        if (key.find_first_of(std::string("=\0", 2)) != std::string::npos || key[0] == '#')
            continue;
        const char *value = host_nvram_get(path.c_str(), key.c_str());
        std::optional<std::string> expected = store_model(store, key);
        CHECK(value != nullptr ? expected && *expected == value : !expected);
        if (value != nullptr) {
            kept = value;
            kept_value = value;
        } else if (kept != nullptr) {
            CHECK(std::string(kept, strnlen(kept, 256)) == kept_value);
        }
    }
    CHECK(lowest_free_descriptor() == fds);
    return 0;
}
