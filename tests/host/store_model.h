// What an NVRAM store answers, by its rules written out plainly, for the
// unit tests and the fuzz targets alike: the first line (up to '\n') that
// starts with "key=" gives the value, less one '\r' at its end, if it is
// under 256 characters; a NUL ends it.
#ifndef MORVID_TESTS_HOST_STORE_MODEL_H
#define MORVID_TESTS_HOST_STORE_MODEL_H

#include "devutil/host/host.h"

#include <string.h>

#include <optional>
#include <string>
#include <vector>

inline std::optional<std::string> store_model(const std::string &file, const std::string &key)
{
    for (size_t at = 0; at < file.size();) {
        size_t end = file.find('\n', at);
        std::string line = file.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? file.size() : end + 1;
        if (line.compare(0, key.size() + 1, key + "=") != 0)
            continue;
        std::string value = line.substr(key.size() + 1);
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        if (value.size() >= 256)
            return std::nullopt;
        return value.substr(0, value.find('\0'));
    }
    return std::nullopt;
}

// The first key the store at path (holding file) answers otherwise than the
// model, or "": a failed lookup leaves the value an earlier one returned as
// it was.
inline std::string store_mismatch(const std::string &path, const std::string &file,
                                  const std::vector<std::string> &keys)
{
    const char *kept = nullptr;
    std::string kept_value;
    for (const std::string &key : keys) {
        const char *value = host_nvram_get(path.c_str(), key.c_str());
        if ((value ? std::optional<std::string>(value) : std::nullopt) != store_model(file, key))
            return key;
        if (value != nullptr)
            kept_value = kept = value;
        else if (kept != nullptr && std::string(kept, strnlen(kept, 256)) != kept_value)
            return key + ", the value kept";
    }
    return "";
}

#endif
