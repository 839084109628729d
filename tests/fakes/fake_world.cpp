#include "fake_world.h"

#include <deque>
#include <map>

namespace
{

fake::Trace g_trace;
unsigned g_clock;
std::map<std::string, std::deque<int>> g_task_answers;
std::deque<int> g_uptime_answers;
std::deque<int> g_link_answers;
std::map<std::string, std::string> g_nvram;
std::string g_nvram_answer;
std::function<std::string()> g_probe;
std::function<void(unsigned)> g_on_sleep;

constexpr int RUNNING = 1;
constexpr int BOOT_UPTIME = 0;
constexpr int LINK_UP = 2;

int next_answer(std::deque<int> &answers, int fallback)
{
    if (answers.empty())
        return fallback;
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

} // namespace

namespace fake
{

void reset()
{
    g_trace.clear();
    g_clock = 0;
    g_task_answers.clear();
    g_uptime_answers.clear();
    g_link_answers.clear();
    g_nvram.clear();
    g_probe = nullptr;
    g_on_sleep = nullptr;
}

void clear_trace()
{
    g_trace.clear();
}

const Trace &trace()
{
    return g_trace;
}

unsigned clock()
{
    return g_clock;
}

void script_task(const std::string &name, std::initializer_list<int> answers)
{
    g_task_answers[name].assign(answers);
}

void script_uptime(std::initializer_list<int> answers)
{
    g_uptime_answers.assign(answers);
}

void script_link(std::initializer_list<int> answers)
{
    g_link_answers.assign(answers);
}

void set_nvram(const std::string &key, const std::string &value, bool has_value)
{
    if (has_value)
        g_nvram[key] = value;
    else
        g_nvram.erase(key);
}

void set_probe(std::function<std::string()> probe)
{
    g_probe = std::move(probe);
}

void set_on_sleep(std::function<void(unsigned)> hook)
{
    g_on_sleep = std::move(hook);
}

namespace detail
{

void record(const std::string &line)
{
    g_trace.push_back(g_probe ? line + " " + g_probe() : line);
}

void wait(unsigned seconds)
{
    if (g_on_sleep)
        g_on_sleep(seconds);
    g_clock += seconds;
}

int next_task_answer(const std::string &name)
{
    return next_answer(g_task_answers[name], RUNNING);
}

int next_uptime_answer()
{
    return next_answer(g_uptime_answers, BOOT_UPTIME);
}

int next_link_answer()
{
    return next_answer(g_link_answers, LINK_UP);
}

char *nvram_value(const std::string &key)
{
    auto found = g_nvram.find(key);
    if (found == g_nvram.end())
        return nullptr;
    g_nvram_answer = found->second;
    return g_nvram_answer.data();
}

} // namespace detail
} // namespace fake
