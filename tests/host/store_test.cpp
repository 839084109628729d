#include "devutil/host/host.h"
#include "store_model.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

// Every test of the file in a fresh directory of its own.
struct Nvram : ::testing::Test, TempDir {
};

// Random stores of near-miss keys, comments, '\r', '=', NULs, values about
// the length limit and long lines across the read chunks, against the model.
TEST_F(Nvram, AnswersAsTheRulesSayForRandomStores)
{
    const std::vector<std::string> keys = {"a", "ab", "b", "wan_proto", "wan_proto2"};
    const std::string odd[] = {"#", " ", "\r", "=", std::string(1, '\0'), "\n", "wan_prot"};
    std::mt19937 random(20261206);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    for (int round = 0; round < 3000; ++round) {
        std::string file;
        for (size_t lines = pick(12); lines > 0; --lines) {
            std::string line = pick(4) == 0 ? odd[pick(std::size(odd))] : "";
            line += keys[pick(keys.size())] + (pick(8) == 0 ? "" : "=");
            size_t length = pick(3) == 0 ? 250 + pick(10) : pick(2) == 0 ? pick(1200) : pick(6);
            for (size_t i = 0; i < length; ++i)
                line += pick(30) == 0 ? odd[pick(std::size(odd))] : std::string(1, 'a' + pick(3));
            file += line + (pick(6) == 0 ? "\r\n" : "\n");
        }
        if (pick(4) == 0 && !file.empty())
            file.pop_back(); // a last line with no newline
        put("nvram", file);
        ASSERT_EQ(store_mismatch(at("nvram"), file, keys), "") << "round " << round;
    }
    EXPECT_EQ(host_nvram_get(at("nvram").c_str(), ""), nullptr);
    EXPECT_EQ(host_nvram_get(at("nvram").c_str(), nullptr), nullptr);
    EXPECT_EQ(host_nvram_get(at("absent").c_str(), "a"), nullptr);
}

// Only a regular file is a store, read without blocking and no further
// than 128 KiB: a FIFO, with a writer or none, or a device is not set.
TEST_F(Nvram, OnlyARegularFileReadAndNotTooFar)
{
    alarm(5); // a reader that blocks fails here, not at ctest's time limit
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
    EXPECT_EQ(host_nvram_get(at("fifo").c_str(), "a"), nullptr);
    int writer = open(at("fifo").c_str(), O_RDWR);
    EXPECT_EQ(write(writer, "a=1\n", 4), 4);
    EXPECT_EQ(host_nvram_get(at("fifo").c_str(), "a"), nullptr);
    close(writer);
    std::filesystem::create_symlink("/dev/zero", at("zero"));
    EXPECT_EQ(host_nvram_get(at("zero").c_str(), "a"), nullptr);
    put("nvram", "a=1\n" + std::string(128 * 1024 - 9, '#') + "\nb=2\nc=3\n");
    EXPECT_STREQ(host_nvram_get(at("nvram").c_str(), "b"), "2");
    EXPECT_EQ(host_nvram_get(at("nvram").c_str(), "c"), nullptr);
    put("nvram", std::string(509, '#') + "\nk=1"); // the last read is one byte
    EXPECT_STREQ(host_nvram_get(at("nvram").c_str(), "k"), "1");
    alarm(0);
}

using LinkState = Nvram;

TEST_F(LinkState, CarrierMappedForTheNvramInterface)
{
    using files = std::vector<std::pair<std::string, std::string>>;
    const struct {
        const char *nvram;
        files tree;
        int expected;
    } cases[] = {
        {nullptr, {{"net/eth0/carrier", "1\n"}}, WAN_LINK_UP},
        {nullptr, {{"net/eth0/carrier", "0\n"}}, WAN_LINK_DOWN},
        {nullptr, {{"net/eth0/carrier", "1"}}, WAN_LINK_UP},
        {nullptr, {{"net/eth1/carrier", "1\n"}}, -1},
        {"wan_ifname=eth0\n", {{"net/eth0/carrier", ""}}, -1},
        {nullptr, {{"net/eth0/carrier", "x\n"}}, -1},
        {nullptr, {{"net/eth0/carrier", "11\n"}}, -1},
        {nullptr, {{"net/eth0/carrier", "1x"}}, -1},
        {nullptr, {{"net/eth0/carrier", "1\n\n"}}, -1},
        {"wan_ifname=wan1\n", {{"net/eth0/carrier", "0\n"}, {"net/wan1/carrier", "1\n"}}, 2},
        {"wan_ifname=abcdefghijklmno\n", {{"net/abcdefghijklmno/carrier", "1\n"}}, 2},
        {"wan_ifname=abcdefghijklmnop\n", {{"net/abcdefghijklmnop/carrier", "1\n"}}, -1},
        {"wan_ifname=../esc\n", {{"net/x", ""}, {"esc/carrier", "1\n"}}, -1},
        {"wan_ifname=..\n", {{"net/x", ""}, {"carrier", "1\n"}}, -1},
        {"wan_ifname=.\n", {{"net/carrier", "1\n"}}, -1},
        {"wan_ifname=\n", {{"net/carrier", "1\n"}}, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.nvram ? c.nvram : "no nvram");
        std::filesystem::remove_all(root);
        std::filesystem::create_directory(root);
        // A deleted regular file stays readable through a kept descriptor,
        // unlike a sysfs file of a removed interface: start afresh.
        host_link_forget();
        if (c.nvram)
            put("nvram", c.nvram);
        for (const auto &[file, text] : c.tree)
            put(file, text);
        errno = EINVAL; // stale: only a failed read may be judged by it
        EXPECT_EQ(host_link_state(at("net").c_str(), at("nvram").c_str()), c.expected);
    }
    std::string too_long = at("net/") + std::string(600, 'n');
    put("nvram", "wan_ifname=eth0\n");
    EXPECT_EQ(host_link_state(too_long.c_str(), at("nvram").c_str()), -1);
    // Only a key that is absent means eth0; one set but unusable is no interface.
    put("net/eth0/carrier", "1\n");
    put("nvram", "wan_ifname=" + std::string(256, 'e') + "\n");
    EXPECT_EQ(host_link_state(at("net").c_str(), at("nvram").c_str()), -1);
}

// The store is read again only when it has changed: another inode, size or
// modification time, or gone or back; or when it was last read no later
// than the second its time names, where a change leaves all these alike.
TEST_F(LinkState, InterfaceFollowsTheStoreAsItChanges)
{
    for (const char *up : {"a", "eth0"})
        put(std::string("net/") + up + "/carrier", "1\n");
    for (const char *down : {"b", "ab"})
        put(std::string("net/") + down + "/carrier", "0\n");
    const struct {
        const char *nvram; // nullptr: no store
        time_t mtime;
        int expected;
    } steps[] = {
        {"wan_ifname=a\n", 1, WAN_LINK_UP},
        {"wan_ifname=a\n", 1, WAN_LINK_UP},
        {"wan_ifname=b\n", 1, WAN_LINK_UP}, // unchanged, as far as can be seen
        {"wan_ifname=b\n", 2, WAN_LINK_DOWN},
        {"wan_ifname=ab\n", 3, WAN_LINK_DOWN},
        {"wan_ifname=a\n", 2147483647, WAN_LINK_UP},
        {"wan_ifname=b\n", 2147483647, WAN_LINK_DOWN}, // read in its second or before
        {"wan_ifname=..\n", 4, -1},
        {nullptr, 0, WAN_LINK_UP}, // eth0
    };
    host_link_forget();
    size_t before = open_descriptors();
    for (const auto &step : steps) {
        if (step.nvram) {
            put("nvram", step.nvram);
            struct timespec times[2] = {{step.mtime, 0}, {step.mtime, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, at("nvram").c_str(), times, 0), 0);
        } else {
            std::filesystem::remove(at("nvram"));
        }
        EXPECT_EQ(host_link_state(at("net").c_str(), at("nvram").c_str()), step.expected)
            << (step.nvram ? step.nvram : "no store") << " at " << step.mtime;
    }
    host_link_forget(); // one carrier file was kept open, the last
    EXPECT_EQ(open_descriptors(), before);
}

using Led = Nvram;

// The value and a newline replace the file "ledN_path" names, for any int
// N and value; -1 for no path, an empty one, or one that cannot be written.
TEST_F(Led, ValueReplacesTheFileNvramNames)
{
    put("nvram", "led1_path=" + at("led1") + "\nled-2147483648_path=" + at("min") + "\r\n" +
                     "led2147483647_path=" + at("max") + "\nled2_path=" + at("none/led2") +
                     "\nled3_path=\nled5_path=/dev/full\nled6_path=" + root + "\n");
    const struct {
        int led, value;
        const char *file;
    } writes[] = {
        {1, 255, "led1"}, {1, 0, "led1"}, {INT_MIN, INT_MAX, "min"}, {INT_MAX, INT_MIN, "max"}};
    for (const auto &w : writes) {
        EXPECT_EQ(host_set_led(at("nvram").c_str(), w.led, w.value), 0) << w.led;
        EXPECT_EQ(get(w.file), std::to_string(w.value) + "\n") << w.led;
    }
    for (int led : {2, 3, 4, 5, 6, -1})
        EXPECT_EQ(host_set_led(at("nvram").c_str(), led, 1), -1) << led;
}

TEST(Uptime, BootClockInWholeSeconds)
{
    auto since_boot = [] {
        double seconds = 0;
        std::ifstream("/proc/uptime") >> seconds;
        return static_cast<int>(seconds);
    };
    int before = since_boot(), uptime = GetSysUpTime(), after = since_boot();
    EXPECT_GE(uptime, before);
    EXPECT_LE(uptime, after);
    EXPECT_EQ(host_uptime(static_cast<clockid_t>(999)), -1);
}
