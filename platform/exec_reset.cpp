#include "platform/exec_reset.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <csignal>

namespace platform {
namespace {

// Without close_range (kernels before 5.11): every number below the descriptor limit. The
// limit is read here, not fixed, since a station may raise it far past a few thousand.
void closeOnExecByLimit() noexcept {
    rlimit limit{};
    rlim_t end = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) end = limit.rlim_cur;
    if (end > static_cast<rlim_t>(INT_MAX)) end = INT_MAX;
    for (int fd = 3; static_cast<rlim_t>(fd) < end; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace

void resetForExec() noexcept {
    // Close-on-exec rather than close: a pipe that reports a failed exec back must stay open
    // until the exec itself succeeds.
    if (::close_range(3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) closeOnExecByLimit();
    // Dispositions before the mask: a stop signal already pending must not run one of the
    // station's handlers in this copy of it once unblocked.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace platform
