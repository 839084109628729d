#include "devutil/host/host.h"
#include "temp_dir.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

using Nvram = TempDirTest;

TEST_F(Nvram, ValuesFoundAsWritten)
{
    const std::string v255(255, 'v'), filler(100000, 'x');
    std::string big;
    for (int i = 0; i < 5000; ++i)
        big += "k" + std::to_string(i) + "=v" + std::to_string(i) + "\n";
    const struct {
        std::optional<std::string> file;
        const char *key;
        std::optional<std::string> expected;
    } cases[] = {
        {std::nullopt, "a", std::nullopt},
        {"b=1\n", "a", std::nullopt},
        {"#a=1\na=2\n", "a", "2"},
        {"\n\n\na=1\n", "a", "1"},
        {"a\na=1\n", "a", "1"},
        {"a=b=c\n", "a", "b=c"},
        {"a=1\na=2\n", "a", "1"},
        {"a=1\r\nb=2\r\n", "a", "1"},
        {"a=1\r\nb=2\r\n", "b", "2"},
        {"a=x\ry\n", "a", "x\ry"},
        {"a=1", "a", "1"},
        {"a=\n", "a", ""},
        {" a = 1 \n", " a ", " 1 "},
        {" a = 1 \n", "a", std::nullopt},
        {"wan_proto2=dhcp\n", "wan_proto", std::nullopt},
        {"wan_proto=dhcp\n", "wan_proto2", std::nullopt},
        {"wan_proto=dhcp\n", "wan_prot", std::nullopt},
        {"a=" + v255 + "\r\n", "a", v255},
        {"a=" + v255 + "v\n", "a", std::nullopt},
        {"a=" + v255 + "v\na=1\n", "a", std::nullopt}, // first match wins, even unusable
        {"a=" + filler + "\n", "a", std::nullopt},     // far past the value buffer
        {filler + "\na=1\n", "a", "1"},
        {"junk=" + filler + "\na=1\n", "a", "1"},
        {big + "a=last\n", "a", "last"},
        {big, "k4999", "v4999"},
        {"a=1\n", "", std::nullopt},
        {"a=1\n", nullptr, std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file ? c.file->substr(0, 40) : "no file");
        std::filesystem::remove(at("nvram"));
        if (c.file)
            put("nvram", *c.file);
        const char *value = host_nvram_get(at("nvram").c_str(), c.key);
        EXPECT_EQ(value ? std::optional<std::string>(value) : std::nullopt, c.expected);
    }
}

TEST_F(Nvram, LineFoundWhereverTheReadChunksEnd)
{
    for (size_t pad = 0; pad < 1100; ++pad) {
        std::string value(pad % 256, 'v');
        put("nvram", std::string(pad, '#') + "\nkey=" + value + "\n");
        const char *got = host_nvram_get(at("nvram").c_str(), "key");
        ASSERT_NE(got, nullptr) << pad;
        ASSERT_EQ(got, value) << pad;
    }
}

using LinkState = TempDirTest;

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
        {nullptr, {{"net/eth0/carrier", ""}}, -1},
        {nullptr, {{"net/eth0/carrier", "x\n"}}, -1},
        {nullptr, {{"net/eth0/carrier", "11\n"}}, -1},
        {nullptr, {{"net/eth0/carrier", "1\n\n"}}, -1},
        {"wan_ifname=wan1\n", {{"net/eth0/carrier", "0\n"}, {"net/wan1/carrier", "1\n"}}, 2},
        {"wan_ifname=abcdefghijklmno\n", {{"net/abcdefghijklmno/carrier", "1\n"}}, 2},
        {"wan_ifname=abcdefghijklmnop\n", {{"net/abcdefghijklmnop/carrier", "1\n"}}, -1},
        {"wan_ifname=../esc\n", {{"esc/carrier", "1\n"}}, -1},
        {"wan_ifname=..\n", {{"carrier", "1\n"}}, -1},
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
        EXPECT_EQ(host_link_state(at("net").c_str(), at("nvram").c_str()), c.expected);
    }
}

// Real interfaces of a network namespace of our own, seen through its own
// sysfs: the kernel refuses to read the carrier of an interface that is
// down, and a removed interface's kept carrier file goes stale.
TEST_F(LinkState, FollowsRealInterfacesThroughTheirLife)
{
    std::filesystem::create_directory(at("sys"));
    int results[2];
    ASSERT_EQ(pipe(results), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(results[0]);
        if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("sysfs", at("sys").c_str(), "sysfs", 0, nullptr) != 0)
            _exit(99);
        std::string net = at("sys/class/net"), nvram = at("nvram");
        // Each step's reading, given a moment to settle on what it expects.
        auto step = [&](const char *command, int expected) {
            if (command[0] != '\0' && system(command) != 0)
                _exit(98);
            int state = host_link_state(net.c_str(), nvram.c_str());
            for (int i = 0; i < 100 && state != expected; ++i) {
                usleep(10 * 1000);
                state = host_link_state(net.c_str(), nvram.c_str());
            }
            std::string text = std::to_string(state) + " ";
            (void)!write(results[1], text.data(), text.size());
        };
        put("nvram", "wan_ifname=lo\n");
        step("", WAN_LINK_DOWN);
        step("ip link set lo up", WAN_LINK_UP);
        put("nvram", "wan_ifname=wan0\n");
        step("", -1);
        step("ip link add wan0 type veth peer name peer0 && ip link set wan0 up && "
             "ip link set peer0 up",
             WAN_LINK_UP);
        step("ip link set peer0 down", WAN_LINK_DOWN);
        step("ip link del wan0", -1);
        step("ip link add wan0 type veth peer name peer0 && ip link set wan0 up && "
             "ip link set peer0 up",
             WAN_LINK_UP);
        _exit(0);
    }
    close(results[1]);
    std::string seen;
    char chunk[64];
    ssize_t got;
    while ((got = read(results[0], chunk, sizeof chunk)) > 0)
        seen.append(chunk, static_cast<size_t>(got));
    close(results[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 99)
        GTEST_SKIP() << "no network namespace of our own";
    ASSERT_NE(WEXITSTATUS(status), 98) << "ip failed; steps seen: " << seen;
    EXPECT_EQ(seen, "1 2 -1 2 1 -1 2 ");
}

using Led = TempDirTest;

TEST_F(Led, ValueReplacesTheFileNvramNames)
{
    put("nvram", "led1_path=" + at("led1") + "\nled2_path=" + at("none/led2") + "\nled3_path=\n");
    for (int value : {255, 1, 0}) {
        EXPECT_EQ(host_set_led(at("nvram").c_str(), 1, value), 0);
        EXPECT_EQ(get("led1"), std::to_string(value) + "\n");
    }
    for (int led : {2, 3, 4, -1})
        EXPECT_EQ(host_set_led(at("nvram").c_str(), led, 1), -1) << led;
}

TEST(Uptime, BootClockInWholeSeconds)
{
    std::ifstream in("/proc/uptime");
    double since_boot = 0;
    in >> since_boot;
    int uptime = GetSysUpTime();
    EXPECT_GE(uptime, static_cast<int>(since_boot));
    EXPECT_LE(uptime, static_cast<int>(since_boot) + 1);
    EXPECT_EQ(host_uptime(static_cast<clockid_t>(999)), -1);
}
