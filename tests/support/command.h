#pragma once
// A program run through the shell as a user runs it: its exit code and what it printed.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace orvex_test {

struct CommandResult {
    int code;
    std::string out;
};

/// Runs `command`; `out` is its standard output (and whatever the command line
/// redirects there).
inline CommandResult RunCommand(const std::string& command) {
    CommandResult r{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace orvex_test
