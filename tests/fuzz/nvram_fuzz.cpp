// The NVRAM store against its model. The input's first line names keys,
// a word each; the rest is the store.
#include "fuzz.h"
#include "store_model.h"

#include <sstream>

static void fuzz_one(const std::string &input)
{
    size_t eol = input.find('\n');
    if (eol == std::string::npos)
        return;
    std::string store = input.substr(eol + 1);
    dir().put("nvram", store);
    std::istringstream words(input.substr(0, eol));
    std::vector<std::string> keys;
    // Not keys: the first '=' ends one, '#' starts a comment, NUL a C string.
    for (std::string key; words >> key;)
        if (key.find_first_of(std::string("=\0", 2)) == std::string::npos && key[0] != '#')
            keys.push_back(key);
    CHECK(store_mismatch(dir().at("nvram"), store, keys).empty());
}
