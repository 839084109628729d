// The LED path NVRAM gives: the input's first byte is the LED's number (127
// and -128 stand for the ends of an int), the second its value, the rest
// the store, with no '/' in it: every path names a file of the fuzz
// directory, whatever the library made of it.
#include "devutil/host/host.h"
#include "fuzz.h"
#include "store_model.h"

#include <limits.h>

#include <algorithm>
#include <fstream>

static void fuzz_one(const std::string &input)
{
    if (input.size() < 2)
        return;
    int led = static_cast<int8_t>(input[0]), value = static_cast<int8_t>(input[1]);
    led = led == 127 ? INT_MAX : led == -128 ? INT_MIN : led;
    std::string store = input.substr(2);
    std::replace(store.begin(), store.end(), '/', '_');
    dir().put("nvram", store);
    std::string path = store_model(store, "led" + std::to_string(led) + "_path").value_or("");
    bool writable = !path.empty() && path != "." && path != "..";
    CHECK(host_set_led(dir().at("nvram").c_str(), led, value) == (writable ? 0 : -1));
    if (writable) {
        std::ifstream file(path);
        CHECK(std::string(std::istreambuf_iterator<char>(file), {}) ==
              std::to_string(value) + "\n");
        unlink(path.c_str());
    }
}
