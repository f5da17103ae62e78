#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs `work` in a forked child and waits for it at most `patience`: its
// exit code, or nullopt when it did not end in time (it is killed then) or
// died of a signal. For steps that hang or die on a fault, so that the test
// fails instead of hanging or crashing with it. The child only runs `work`
// and leaves with _exit: nothing of the test's own runs twice.
inline std::optional<int> exitCodeOfChild(const std::function<int()>& work,
                                          std::chrono::milliseconds patience)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0)
        ::_exit(work());
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    pollfd ended{pidfd, POLLIN, 0};
    int ready = 1; // without a pidfd (an old kernel) the wait below is unbounded
    if (pidfd >= 0) {
        do
            ready = ::poll(&ended, 1, int(patience.count()));
        while (ready < 0 && errno == EINTR);
    }
    const bool inTime = ready == 1;
    if (!inTime)
        ::kill(pid, SIGKILL);
    if (pidfd >= 0)
        ::close(pidfd);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!inTime || !WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status);
}
