// A recording stand-in for everything the daemon's logic touches: the device
// library and the C library calls of daemon/os.h. Every call lands, in
// order, in one trace of short lines, and waits move a virtual clock.
#ifndef MORVID_FAKE_WORLD_H
#define MORVID_FAKE_WORLD_H

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace fake
{

using Trace = std::vector<std::string>;

// Forget all calls and scripts; the clock goes back to 0.
void reset();

// Every call so far, one line each, for example "sleep 5",
// "task_is_running boa", "_eval killall -9 boa >/dev/console 0 null".
const Trace &trace();

// Forget the calls so far, keeping scripts, clock and settings.
void clear_trace();

// Seconds of waiting since reset.
unsigned clock();

// Answers to give, in order; when a script runs out the defaults hold:
// every task running, uptime 0, link up.
void script_task(const std::string &name, std::initializer_list<int> answers);
void script_uptime(std::initializer_list<int> answers);
void script_link(std::initializer_list<int> answers);

// The value nvram_get answers for key; has_value false makes it answer NULL.
void set_nvram(const std::string &key, const std::string &value, bool has_value = true);

// While set, each line recorded gets " " and what probe answers appended,
// to show some state at the moment of every call.
void set_probe(std::function<std::string()> probe);

// While set, called with the length of every wait, as it begins: the
// moment a signal would most likely arrive.
void set_on_sleep(std::function<void(unsigned)> hook);

// For the fakes themselves.
namespace detail
{
void record(const std::string &line);
// Moves the clock on, calling the wait hook first.
void wait(unsigned seconds);
int next_task_answer(const std::string &name);
int next_uptime_answer();
int next_link_answer();
// The value for key, or nullptr; valid until the next call.
char *nvram_value(const std::string &key);
} // namespace detail

} // namespace fake

#endif
