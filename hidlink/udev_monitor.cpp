#include "hidlink/udev_monitor.h"

#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace hidlink {
namespace {

// udev's control socket: present while the udev daemon runs, as libudev itself decides.
constexpr const char* kUdevControl = "/run/udev/control";

class UdevHidrawMonitor final : public ChangeMonitor {
public:
    UdevHidrawMonitor(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}
    ~UdevHidrawMonitor() override {
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }
    UdevHidrawMonitor(const UdevHidrawMonitor&) = delete;
    UdevHidrawMonitor& operator=(const UdevHidrawMonitor&) = delete;

    bool changed() override {
        const int fd = udev_monitor_get_fd(monitor_);
        bool event = false;
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            const int rc = ::poll(&p, 1, 0);
            if (rc < 0 && errno == EINTR) continue;
            if (rc == 0) return event;
            if (rc < 0) return true;
            // Receive also on an error: reading it clears it (an overrun reports ENOBUFS once).
            errno = 0;
            udev_device* device = udev_monitor_receive_device(monitor_);
            if (device == nullptr) {
                // Nothing of ours was waiting; any other error means events were lost.
                return errno == EAGAIN || errno == EWOULDBLOCK ? event : true;
            }
            udev_device_unref(device);
            event = true;
        }
    }

private:
    udev* udev_;
    udev_monitor* monitor_;
};

}  // namespace

std::unique_ptr<ChangeMonitor> watchHidrawWithUdev() {
    if (::access(kUdevControl, F_OK) != 0) return nullptr;
    udev* context = udev_new();
    if (context == nullptr) return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor != nullptr) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevHidrawMonitor>(context, monitor);
}

}  // namespace hidlink
