#include "platform/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace platform {

StopSignalWatcher::~StopSignalWatcher() { stop(); }

bool StopSignalWatcher::start(std::function<void(int)> onSignal, std::string& error) {
    if (thread_.joinable()) return true;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (const int rc = pthread_sigmask(SIG_BLOCK, &set, nullptr); rc != 0) {
        error = std::string("cannot block SIGINT, SIGTERM and SIGHUP: ") + std::strerror(rc);
        return false;
    }
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (signalFd_ < 0 || wakeFd_ < 0) {
        error = std::string("cannot watch SIGINT, SIGTERM and SIGHUP: ") + std::strerror(errno);
        stop();
        return false;
    }
    thread_ = std::thread([this, onSignal = std::move(onSignal)] {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents != 0) return;
            if ((fds[0].revents & POLLIN) == 0) continue;
            signalfd_siginfo info{};
            const ssize_t n = ::read(signalFd_, &info, sizeof info);
            if (n == static_cast<ssize_t>(sizeof info)) onSignal(static_cast<int>(info.ssi_signo));
        }
    });
    return true;
}

void StopSignalWatcher::stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (signalFd_ >= 0) ::close(signalFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    signalFd_ = wakeFd_ = -1;
}

void ignoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace platform
