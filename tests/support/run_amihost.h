// Runs the amihost executable as a user would, with its standard output and
// error together; returns the exit status (-1 when it did not exit).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

inline int RunAmihost(const std::string& arguments, std::string& output,
                      const std::string& environment = "") {
    const std::string command = environment + std::string(AMIHOST_EXE) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    output.clear();
    char buffer[4096];
    for (std::size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pipe == nullptr ? -1 : ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
