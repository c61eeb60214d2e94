#pragma once
// Runs a developer tool the way a user's shell does and keeps what tests check of it: its exit
// status and what it wrote to standard error (standard output is dropped).

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace vtl::test {

struct ToolRun {
    int exitStatus = -1; // -1: the tool could not be started or did not exit normally
    std::string errorOutput;
};

inline ToolRun runTool(const std::string& executable, const std::string& arguments) {
    const std::string command = executable + " " + arguments + " 2>&1 >/dev/null";
    ToolRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        run.errorOutput += buffer;
    const int status = ::pclose(pipe);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace vtl::test
