// /proc/PID/stat in a fake proc tree against the rules of its format: the
// input's first line is the name asked, the rest the stat file of process
// 100. A directory that is no pid ("self") never matches, whatever it says.
#include "devutil/host/host.h"
#include "fuzz.h"

// "PID (NAME) S ...": the name from the first '(' to the last ')' of what is
// read (64 bytes), S neither Z nor X nor x; the name asked is cut to the
// kernel's 15 characters.
static bool stat_model(std::string text, const std::string &name)
{
    text.resize(std::min<size_t>(text.size(), 64));
    size_t open = text.find('('), close = text.rfind(')');
    if (name.empty() || open == std::string::npos || close == std::string::npos || close < open ||
        close + 2 >= text.size() || text[close + 1] != ' ' ||
        std::string("ZXx").find(text[close + 2]) != std::string::npos)
        return false;
    return text.substr(open + 1, close - open - 1) == name.substr(0, 15);
}

static void fuzz_one(const std::string &input)
{
    size_t eol = input.find('\n');
    if (eol == std::string::npos || input.find('\0') < eol)
        return;
    std::string name = input.substr(0, eol), stat = input.substr(eol + 1);
    dir().put("proc/100/stat", stat);
    dir().put("proc/self/stat", "1 (" + name.substr(0, 15) + ") S 1");
    std::string proc = dir().at("proc");
    bool expected = stat_model(stat, name);
    host_task_forget();
    CHECK(host_task_is_running(proc.c_str(), name.c_str()) == expected);
    CHECK(host_task_is_running(proc.c_str(), name.c_str()) == expected); // remembered
    host_task_forget();
}
