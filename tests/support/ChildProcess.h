#pragma once

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace vardelo {

// Runs `body` in a forked child, for checks that need a process of their own
// (a file size limit, another user) or that might block. Returns the child's
// exit code, or -1 when it did not end within the time (it is then killed).
inline int runInChild(const std::function<int()>& body, int timeoutMs = 10000) {
    const pid_t child = ::fork();
    if (child == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    if (child < 0)
        return -2;
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        ::usleep(10000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

} // namespace vardelo
