#include "hidlink/hidraw_backend.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "hidlink/udev_monitor.h"

namespace hidlink {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kBusUsb = 0x0003;
// A hid device sits a handful of levels below its USB device (interface, device); the walk
// stops well before it could wander through the whole tree.
constexpr int kMaxLevelsToUsbDevice = 16;

std::string errnoText(int err) { return std::strerror(err); }

// Reads a whole sysfs attribute of at most maxBytes; a longer file is refused, not cut. An
// attribute is a regular file: anything else (a FIFO would block for ever) is refused.
std::optional<std::vector<std::uint8_t>> readAttribute(const fs::path& path, std::size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(maxBytes + 1);
    std::size_t used = 0;
    bool ok = true;
    while (used < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (!ok || used > maxBytes) return std::nullopt;
    bytes.resize(used);
    return bytes;
}

template <typename T>
bool parseHex(std::string_view text, T& out) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, 16);
    return ec == std::errc{} && end == text.data() + text.size();
}

struct HidId {
    std::uint16_t bus = 0;
    std::uint32_t vendorId = 0;
    std::uint32_t productId = 0;
};

// "HID_ID=0003:00003A1C:00000100" in the hid device's uevent.
std::optional<HidId> parseHidId(std::string_view uevent) {
    while (!uevent.empty()) {
        const std::size_t eol = uevent.find('\n');
        std::string_view line = uevent.substr(0, eol);
        uevent = eol == std::string_view::npos ? std::string_view{} : uevent.substr(eol + 1);
        constexpr std::string_view key = "HID_ID=";
        if (line.substr(0, key.size()) != key) continue;
        line.remove_prefix(key.size());
        const std::size_t c1 = line.find(':');
        const std::size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
        if (c2 == std::string_view::npos) return std::nullopt;
        std::uint16_t bus = 0;
        std::uint32_t vid = 0, pid = 0;
        if (!parseHex(line.substr(0, c1), bus) || !parseHex(line.substr(c1 + 1, c2 - c1 - 1), vid) ||
            !parseHex(line.substr(c2 + 1), pid))
            return std::nullopt;
        // USB and Bluetooth ids are 16 bits; the kernel prints them in 32-bit fields.
        return HidId{bus, vid & 0xFFFFu, pid & 0xFFFFu};
    }
    return std::nullopt;
}

std::optional<HidId> readHidId(const fs::path& hidDevice) {
    const auto bytes = readAttribute(hidDevice / "uevent", 4096);
    if (!bytes) return std::nullopt;
    return parseHidId(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

// "hidraw12" -> 12; nothing for any other name.
std::optional<unsigned> nodeNumber(std::string_view name) {
    constexpr std::string_view prefix = "hidraw";
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return std::nullopt;
    unsigned n = 0;
    const auto digits = name.substr(prefix.size());
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return n;
}

// True when dir lies strictly inside root (both canonical).
bool below(const fs::path& dir, const fs::path& root) {
    const auto [r, d] = std::mismatch(root.begin(), root.end(), dir.begin(), dir.end());
    return r == root.end() && d != dir.end();
}

// The USB device above the hid device (the first folder with a bcdDevice), if there is one below
// the root. A device link that leads out of the sysfs tree finds nothing: files elsewhere are
// not sysfs.
std::optional<fs::path> usbDevice(const fs::path& hidDevice, const fs::path& root) {
    std::error_code ec;
    fs::path dir = fs::canonical(hidDevice, ec);
    if (ec) return std::nullopt;
    for (int level = 0; level < kMaxLevelsToUsbDevice; ++level) {
        if (!below(dir, root)) return std::nullopt;
        if (fs::is_regular_file(dir / "bcdDevice", ec)) return dir;
        dir = dir.parent_path();
    }
    return std::nullopt;
}

std::uint16_t usbVersion(const fs::path& usb) {
    const auto bcd = readAttribute(usb / "bcdDevice", 16);
    if (!bcd) return 0;
    std::string_view text(reinterpret_cast<const char*>(bcd->data()), bcd->size());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    std::uint16_t v = 0;
    return parseHex(text, v) ? v : 0;
}

// The lock file of the physical device: its sysfs folder names the port it is plugged into,
// which stays the same when the controller re-enumerates (bootloader, new product id) and
// covers every interface, so every hidraw node, of the device. The name keeps the folder's
// last part for people and a hash of the whole path so that two trees never share a lock.
std::string lockNameFor(const fs::path& device) {
    std::uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
    for (const char c : device.string()) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    std::string name = device.filename().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != ':') c = '_';
    char hash[20];
    std::snprintf(hash, sizeof hash, "%016llX", static_cast<unsigned long long>(h));
    return "vorlick-hid-" + name.substr(0, 64) + "-" + hash + ".lock";
}

struct NodeInfo {
    HidId id;
    std::uint16_t version = 0;
    ParsedDescriptor parsed;
    std::string lockName;
};

std::optional<NodeInfo> readNode(const fs::path& classDir, const std::string& name, const fs::path& root) {
    const fs::path hidDevice = classDir / name / "device";
    const auto id = readHidId(hidDevice);
    if (!id) return std::nullopt;
    const auto descriptor = readAttribute(hidDevice / "report_descriptor", kMaxDescriptorBytes);
    if (!descriptor) return std::nullopt;
    auto parsed = parseReportDescriptor(*descriptor);
    if (!parsed) return std::nullopt;
    // Only a USB device has a bcdDevice; a Bluetooth device behind a USB dongle must not
    // report the dongle's (nor share its lock).
    const auto usb = id->bus == kBusUsb ? usbDevice(hidDevice, root) : std::nullopt;
    const std::uint16_t version = usb ? usbVersion(*usb) : 0;
    std::error_code ec;
    const fs::path device = usb ? *usb : fs::canonical(hidDevice, ec);
    return NodeInfo{*id, version, std::move(*parsed), lockNameFor(device)};
}

class HidrawConnection final : public Connection {
public:
    HidrawConnection(CollectionDesc desc, int fd, platform::Clock& clock, HidrawIo& io,
                     std::shared_ptr<platform::LockFile> lock)
        : Connection(std::move(desc)),
          fd_(fd),
          wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          clock_(clock),
          io_(io),
          lock_(std::move(lock)) {
        // hidraw hands out one report per read, cut to the buffer: room for our largest.
        input_.resize(std::max<std::size_t>(this->desc().caps.inputReportLength, 2));
    }
    ~HidrawConnection() override { doClose(); }

protected:
    long doGetFeature(std::span<std::uint8_t> report) override {
        // The device answers with its whole report whatever part the caller wants, so the
        // request is always sized for the largest feature report of the collection.
        const std::size_t size = std::max<std::size_t>(desc().caps.featureReportLength, report.size());
        feature_.assign(size, 0);
        feature_[0] = report[0];
        int n;
        do {
            n = io_.getFeature(fd_, feature_);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            setLastError("HIDIOCGFEATURE on " + desc().path + ": " + errnoText(errno));
            return -1;
        }
        if (n == 0) {
            setLastError("HIDIOCGFEATURE on " + desc().path + ": empty answer");
            return 0;
        }
        const std::size_t got = std::min(static_cast<std::size_t>(n), size);
        std::copy_n(feature_.begin(), std::min(got, report.size()), report.begin());
        return static_cast<long>(got);
    }

    bool doSetFeature(std::span<const std::uint8_t> report) override {
        feature_.assign(report.begin(), report.end());
        int n;
        do {
            n = io_.setFeature(fd_, feature_);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            setLastError("HIDIOCSFEATURE on " + desc().path + ": " + errnoText(errno));
            return false;
        }
        if (static_cast<std::size_t>(n) < report.size()) {
            setLastError("HIDIOCSFEATURE on " + desc().path + ": sent " + std::to_string(n) + " of " +
                         std::to_string(report.size()) + " bytes");
            return false;
        }
        return true;
    }

    ReadResult doReadInput(std::span<std::uint8_t> buffer, int timeoutMs) override {
        const std::uint64_t start = clock_.monotonicMs();
        const bool numbered = desc().numbered;
        for (;;) {
            int wait = timeoutMs;  // negative: no limit, as poll() takes it
            if (timeoutMs > 0) {
                const std::uint64_t elapsed = clock_.monotonicMs() - start;
                wait = elapsed >= static_cast<std::uint64_t>(timeoutMs)
                           ? 0
                           : static_cast<int>(static_cast<std::uint64_t>(timeoutMs) - elapsed);
            }
            // Closing the fd would not wake poll(); a cancel signals the eventfd beside it.
            pollfd polled[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
            const int ready = ::poll(polled, wake_ >= 0 ? 2 : 1, wait);
            if (ready < 0) {
                if (errno == EINTR) continue;
                setLastError("poll on " + desc().path + ": " + errnoText(errno));
                return {ReadStatus::Error, 0};
            }
            if (ready == 0) return {ReadStatus::Timeout, 0};
            if ((polled[1].revents & POLLIN) != 0) return {ReadStatus::Disconnected, 0};
            const pollfd& p = polled[0];
            if ((p.revents & POLLIN) == 0) {
                if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                    setLastError("poll on " + desc().path + ": the node hung up (device gone)");
                    return {ReadStatus::Disconnected, 0};
                }
                return {ReadStatus::Error, 0};
            }
            // Reports queued before an unplug are still delivered; the hang-up comes after.
            std::uint8_t* into = numbered ? input_.data() : input_.data() + 1;
            const std::size_t room = numbered ? input_.size() : input_.size() - 1;
            const ssize_t n = ::read(fd_, into, room);
            // Past the deadline, stop: another collection's stream may never leave the queue
            // empty, and the reader must come back to see whether it is asked to stop.
            const bool late = wait == 0 && timeoutMs >= 0;
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) {
                    if (late) return {ReadStatus::Timeout, 0};
                    continue;
                }
                const int err = errno;
                setLastError("read on " + desc().path + ": " + errnoText(err));
                if (err == ENODEV || err == EIO || err == ENXIO) return {ReadStatus::Disconnected, 0};
                return {ReadStatus::Error, 0};
            }
            if (n == 0) return {ReadStatus::Disconnected, 0};  // writer gone; hidraw never sends empty reports
            std::size_t length = static_cast<std::size_t>(n);
            if (!numbered) {
                input_[0] = 0;  // unnumbered devices send no id byte
                ++length;
            } else if (!ours(input_[0])) {
                if (late) return {ReadStatus::Timeout, 0};
                continue;  // another collection of this node
            }
            const std::size_t copied = std::min(length, buffer.size());
            std::copy_n(input_.begin(), copied, buffer.begin());
            return {ReadStatus::Ok, copied};
        }
    }

    void doClose() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (wake_ >= 0) ::close(wake_);
        wake_ = -1;
        lock_.reset();  // the device stays ours while another collection of it is open
    }

    void doCancelRead() override {
        const std::uint64_t one = 1;
        if (wake_ >= 0 && ::write(wake_, &one, sizeof one) < 0) {
            // Only a full counter fails, and then the read is already woken.
        }
    }

private:
    bool ours(std::uint8_t id) const {
        const auto& ids = desc().caps.inputReportIds;
        return id != 0 && std::find(ids.begin(), ids.end(), id) != ids.end();
    }

    int fd_;
    int wake_;  // eventfd that ends a waiting read; -1 when none could be made
    platform::Clock& clock_;
    HidrawIo& io_;
    std::shared_ptr<platform::LockFile> lock_;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> feature_;
};

class KernelHidrawIo final : public HidrawIo {
public:
    int getFeature(int fd, std::span<std::uint8_t> buffer) override {
        return ::ioctl(fd, HIDIOCGFEATURE(static_cast<unsigned>(buffer.size())), buffer.data());
    }
    int setFeature(int fd, std::span<const std::uint8_t> report) override {
        return ::ioctl(fd, HIDIOCSFEATURE(static_cast<unsigned>(report.size())), report.data());
    }
};

}  // namespace

int HidrawIo::openNode(const std::string& path, int flags) { return ::open(path.c_str(), flags); }

HidrawIo& kernelHidrawIo() {
    static KernelHidrawIo io;
    return io;
}

HidrawBackend::HidrawBackend(std::string sysfsRoot, std::string devRoot, platform::Clock& clock)
    : sysfsRoot_(std::move(sysfsRoot)),
      devRoot_(std::move(devRoot)),
      clock_(&clock),
      io_(&kernelHidrawIo()),
      lockDir_(platform::runtimeDirectory()),
      owner_(programOwner()) {}

std::shared_ptr<platform::LockFile> HidrawBackend::lockDevice(const std::string& lockName,
                                                              const std::string& nodePath) {
    std::lock_guard guard(locksMutex_);
    const std::string path = lockDir_ + "/" + lockName;
    if (auto held = locks_[path].lock()) return held;
    platform::LockFile::Attempt taken = platform::LockFile::take(path, owner_);
    if (taken.outcome != platform::LockFile::Outcome::Acquired) {
        setLastError(taken.outcome == platform::LockFile::Outcome::Held ? inUseText(nodePath, taken.holder)
                                                                        : taken.error.text());
        return nullptr;
    }
    std::shared_ptr<platform::LockFile> lock = std::move(taken.lock);
    locks_[path] = lock;
    return lock;
}

bool HidrawBackend::enumerate(std::vector<CollectionDesc>& out, std::size_t limit) {
    std::error_code ec;
    const fs::path root = fs::canonical(sysfsRoot_, ec);
    if (!ec) {
        fs::directory_iterator probe(root, ec);
    }
    if (ec) {
        setLastError("cannot read the sysfs root " + sysfsRoot_ + ": " + ec.message());
        return false;
    }
    const fs::path classDir = root / "class" / "hidraw";
    std::vector<std::pair<unsigned, std::string>> nodes;
    fs::directory_iterator it(classDir, ec);
    if (ec) {
        // No hidraw class at all: the hidraw driver has not seen a device yet.
        if (ec == std::errc::no_such_file_or_directory) return true;
        setLastError("cannot read " + classDir.string() + ": " + ec.message());
        return false;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (const auto number = nodeNumber(name)) nodes.emplace_back(*number, std::move(name));
    }
    if (ec) {
        setLastError("cannot read " + classDir.string() + ": " + ec.message());
        return false;
    }
    std::sort(nodes.begin(), nodes.end());  // hidraw2 before hidraw10

    std::size_t added = 0;
    for (const auto& [number, name] : nodes) {
        if (added >= limit) break;
        const auto node = readNode(classDir, name, root);
        if (!node) continue;  // an unusable interface
        for (auto& d : describeCollections(node->parsed, node->id.vendorId, node->id.productId, node->version,
                                           devRoot_ + "/" + name)) {
            if (added >= limit) break;
            out.push_back(std::move(d));
            ++added;
        }
    }
    return true;
}

std::unique_ptr<Connection> HidrawBackend::open(const CollectionDesc& desc, OpenMode mode) {
    const std::string name = fs::path(desc.path).filename().string();
    if (!nodeNumber(name)) {
        setLastError(desc.path + " is not a hidraw node");
        return nullptr;
    }
    std::error_code ec;
    const fs::path root = fs::canonical(sysfsRoot_, ec);
    const auto node = ec ? std::nullopt : readNode(root / "class" / "hidraw", name, root);
    if (!node) {
        setLastError(desc.path + " is gone");
        return nullptr;
    }
    const auto& cols = node->parsed.collections;
    if (node->id.vendorId != desc.identity.vendorId || node->id.productId != desc.identity.productId ||
        desc.collectionIndex >= cols.size() || cols[desc.collectionIndex].usagePage != desc.identity.usagePage ||
        cols[desc.collectionIndex].usage != desc.identity.usage) {
        setLastError(desc.path + " now belongs to another device; enumerate again");
        return nullptr;
    }
    auto lock = lockDevice(node->lockName, desc.path);
    if (!lock) return nullptr;
    const int flags = mode == OpenMode::Feature ? O_RDWR | O_CLOEXEC : O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    const int fd = io_->openNode(desc.path, flags);
    if (fd < 0) {
        const int err = errno;
        setLastError("cannot open " + desc.path + ": " + errnoText(err) +
                     (err == EACCES ? " (the user needs access to the hidraw nodes)" : ""));
        return nullptr;
    }
    return std::make_unique<HidrawConnection>(desc, fd, *clock_, *io_, std::move(lock));
}

std::unique_ptr<ChangeMonitor> HidrawBackend::watchChanges() {
    if (sysfsRoot_ != "/sys" || devRoot_ != "/dev") return nullptr;
    return watchHidrawWithUdev();
}

std::string HidrawBackend::probeOpen(const CollectionDesc& desc) {
    const int fd = io_->openNode(desc.path, O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errnoText(errno);
    ::close(fd);
    return {};
}

}  // namespace hidlink
