// sbtool's line reader on a stream through a pipe, written in pieces of a
// size the input's first byte sets, against the lines it must log.
#include "fuzz.h"
#include "lines.h"

#include <vector>

static std::vector<std::string> g_logged;

static void record(const char *, const char *text, size_t len)
{
    g_logged.emplace_back(text, len);
}

// Each line less a '\r' before its '\n'; one that reaches the 4096 bytes of
// the buffer unended is logged a buffer at a time, and the bare end left
// after (nothing, or "\r") is no line of its own. An unended last line
// waits, but for the whole buffers of it.
static std::vector<std::string> lines_model(const std::string &stream)
{
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = stream.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = stream.substr(at, end - at);
        bool cut = false;
        for (; line.size() >= 4096; line.erase(0, 4096), cut = true)
            lines.push_back(line.substr(0, 4096));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!cut || !line.empty())
            lines.push_back(line);
    }
    for (std::string rest = stream.substr(at); rest.size() >= 4096; rest.erase(0, 4096))
        lines.push_back(rest.substr(0, 4096));
    return lines;
}

static void fuzz_one(const std::string &input)
{
    if (input.empty())
        return;
    std::string stream = input.substr(1);
    size_t piece = 1 + static_cast<uint8_t>(input[0]) * 17u;
    int pipe_fds[2];
    CHECK(pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) == 0);
    static struct lines l;
    l = {};
    g_logged.clear();
    for (size_t at = 0; at < stream.size(); at += piece) {
        size_t part = std::min(piece, stream.size() - at);
        CHECK(write(pipe_fds[1], stream.data() + at, part) == ssize_t(part));
        while (read_lines(pipe_fds[0], &l, "out", -1, record)) {
        }
    }
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    CHECK(g_logged == lines_model(stream));
}
