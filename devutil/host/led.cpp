#include "devutil/host/host.h"
#include "devutil/host/io.h"

int host_set_led(const char *nvram_file, int led, int value)
{
    // "led" N "_path" names the LED's file, a brightness file on a device.
    char key[sizeof "led_path" + HOST_INT_TEXT_MAX] = "led";
    char *end = put_int(key + strlen(key), led);
    memcpy(end, "_path", sizeof "_path");
    const char *path = host_nvram_get(nvram_file, key);
    if (path == nullptr || path[0] == '\0')
        return -1;

    char line[HOST_INT_TEXT_MAX + 1];
    end = put_int(line, value);
    *end++ = '\n';
    // O_CREAT changes nothing for a sysfs file, and lets a plain file
    // stand in for the LED where there is none.
    int fd = io_open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return -1;
    bool written = io_write_all(fd, line, static_cast<size_t>(end - line));
    bool closed = io_close(fd);
    return written && closed ? 0 : -1;
}

int setLedLight(int led, int value)
{
    return host_set_led(HOST_NVRAM_FILE, led, value);
}
