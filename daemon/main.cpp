// morvid: keeps boa and dnrd running, follows the WAN link, and stops
// getdeviceinfo once the system has settled. It never exits by itself.

#include "os/os.h"
#include "daemon/pid_file.h"
#include "daemon/poll_loop.h"
#include "daemon/signals.h"

int main(int, char **)
{
    os_open_missing_standard_streams();
    os_line_buffered_output();
    write_pid_file();
    set_signal_dispositions();
    poll_loop();
}
