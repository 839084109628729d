// The carrier and wan_ifname together. The input's first byte is the length
// (mod 8) of the carrier text that follows, the rest is the store; the
// carrier is that of the interface the store names, eth0's "1\n" otherwise.
#include "devutil/host/host.h"
#include "fuzz.h"
#include "store_model.h"

static void fuzz_one(const std::string &input)
{
    if (input.empty())
        return;
    std::string carrier = input.substr(1, input[0] & 7), store = input.substr(1 + carrier.size());
    // Only a key that is absent means eth0.
    bool set = ("\n" + store).find("\nwan_ifname=") != std::string::npos;
    std::string ifname = set ? store_model(store, "wan_ifname").value_or("") : "eth0";
    int expected = -1;
    // The kernel's rule for interface names.
    if (!ifname.empty() && ifname.size() < 16 && ifname != "." && ifname != ".." &&
        ifname.find_first_of("/: \t\n\v\f\r") == std::string::npos) {
        dir().put("net/" + ifname + "/carrier", carrier);
        if (carrier == "1" || carrier == "1\n")
            expected = WAN_LINK_UP;
        if (carrier == "0" || carrier == "0\n")
            expected = WAN_LINK_DOWN;
    }
    if (ifname != "eth0")
        dir().put("net/eth0/carrier", "1\n");
    dir().put("nvram", store);
    CHECK(host_link_state(dir().at("net").c_str(), dir().at("nvram").c_str()) == expected);
    host_link_forget();
    std::filesystem::remove_all(dir().at("net"));
}
