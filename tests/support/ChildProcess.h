#pragma once

#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

// Runs `work` in a forked child given at most `patience`: its exit code, or
// nullopt when it died of a signal, the alarm's included (a hang). For steps
// that hang or die on a fault, so that the test fails instead of hanging or
// crashing with it. The child only runs `work` and leaves with _exit: nothing
// of the test's own runs twice.
inline std::optional<int> exitCodeOfChild(const std::function<int()>& work,
                                          std::chrono::seconds patience)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        ::alarm(unsigned(patience.count()));
        ::_exit(work());
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? std::optional(WEXITSTATUS(status)) : std::nullopt;
}
