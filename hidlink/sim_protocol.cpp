#include "hidlink/sim_protocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"

namespace hidlink::simwire {
namespace {

class Writer {
public:
    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v) { le(v, 2); }
    void u32(std::uint32_t v) { le(v, 4); }
    void u64(std::uint64_t v) { le(v, 8); }
    void i32(std::int32_t v) { le(static_cast<std::uint32_t>(v), 4); }
    void flag(bool v) { u8(v ? 1 : 0); }
    void bytes(std::span<const std::uint8_t> b) {
        u32(static_cast<std::uint32_t>(b.size()));
        out_.insert(out_.end(), b.begin(), b.end());
    }
    void text(const std::string& s) {
        // Texts are diagnostics: a long one is cut rather than refused.
        const std::size_t n = std::min<std::size_t>(s.size(), kMaxText);
        bytes({reinterpret_cast<const std::uint8_t*>(s.data()), n});
    }
    std::vector<std::uint8_t> frame() {
        const auto n = static_cast<std::uint32_t>(out_.size() - 4);
        for (int i = 0; i < 4; ++i) out_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(n >> (8 * i));
        return std::move(out_);
    }

private:
    void le(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    std::vector<std::uint8_t> out_ = std::vector<std::uint8_t>(4, 0);  // prefix filled by frame()
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> b) : b_(b) {}
    bool failed() const { return !why_.empty(); }
    const std::string& why() const { return why_; }
    void fail(std::string why) {
        if (why_.empty()) why_ = std::move(why);
    }
    bool done() const { return pos_ == b_.size(); }

    std::uint8_t u8() { return static_cast<std::uint8_t>(le(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(le(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(le(4)); }
    std::uint64_t u64() { return le(8); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    bool flag() {
        const std::uint8_t v = u8();
        if (v > 1) fail("flag byte " + std::to_string(v));
        return v == 1;
    }
    std::vector<std::uint8_t> bytes(std::uint32_t cap, const char* what) {
        const std::uint32_t n = u32();
        if (failed()) return {};
        if (n > cap)
            return fail(std::string(what) + " of " + std::to_string(n) + " bytes exceeds " + std::to_string(cap)),
                   std::vector<std::uint8_t>{};
        if (n > b_.size() - pos_) return fail(std::string("truncated ") + what), std::vector<std::uint8_t>{};
        std::vector<std::uint8_t> v(b_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                    b_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
        pos_ += n;
        return v;
    }
    std::string text() {
        const auto v = bytes(kMaxText, "text");
        return std::string(v.begin(), v.end());
    }
    // A list count, checked against a cap and against the bytes left (each entry is at least
    // `minEntryBytes`), so a lying count cannot make us reserve memory.
    std::uint32_t count(std::size_t minEntryBytes) {
        const std::uint32_t n = u32();
        if (failed()) return 0;
        if (n > kMaxListEntries || static_cast<std::uint64_t>(n) * minEntryBytes > b_.size() - pos_)
            return fail("list of " + std::to_string(n) + " entries does not fit"), 0;
        return n;
    }

private:
    std::uint64_t le(std::size_t n) {
        if (failed()) return 0;
        if (n > b_.size() - pos_) return fail("truncated message"), 0;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(b_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }
    std::span<const std::uint8_t> b_;
    std::size_t pos_ = 0;
    std::string why_;
};

struct Encoder {
    Writer& w;
    void operator()(const Hello& m) {
        w.u8(std::uint8_t(Op::Hello));
        w.u32(m.version);
    }
    void operator()(const Enumerate&) { w.u8(std::uint8_t(Op::Enumerate)); }
    void operator()(const Open& m) {
        w.u8(std::uint8_t(Op::Open));
        w.u32(m.deviceId);
        w.u32(m.iface);
        w.u32(m.collectionIndex);
        w.u8(static_cast<std::uint8_t>(m.mode));
        w.u64(m.ownerId);
        w.text(m.owner);
    }
    void operator()(const GetFeature& m) {
        w.u8(std::uint8_t(Op::GetFeature));
        w.bytes(m.report);
    }
    void operator()(const SetFeature& m) {
        w.u8(std::uint8_t(Op::SetFeature));
        w.bytes(m.report);
    }
    void operator()(const ReadInput& m) {
        w.u8(std::uint8_t(Op::ReadInput));
        w.u32(m.timeoutMs);
        w.u32(m.maxLength);
    }
    void operator()(const Close&) { w.u8(std::uint8_t(Op::Close)); }
    void operator()(const Watch&) { w.u8(std::uint8_t(Op::Watch)); }
    void operator()(const BusChanged& m) {
        w.u8(std::uint8_t(Op::BusChanged));
        w.u64(m.changes);
    }
    void operator()(const ListDevices&) { w.u8(std::uint8_t(Op::ListDevices)); }
    void operator()(const Unplug& m) {
        w.u8(std::uint8_t(Op::Unplug));
        w.u32(m.deviceId);
    }
    void operator()(const Replug& m) {
        w.u8(std::uint8_t(Op::Replug));
        w.u32(m.deviceId);
    }
    void operator()(const SetFaults& m) {
        w.u8(std::uint8_t(Op::SetFaults));
        w.u32(m.deviceId);
        w.u32(m.latencyMs);
        w.u64(m.refuseNth);
        w.flag(m.refuseAll);
    }
    void operator()(const PushInput& m) {
        w.u8(std::uint8_t(Op::PushInput));
        w.u32(m.deviceId);
        w.u32(m.iface);
        w.bytes(m.report);
    }
    void operator()(const ReadFlash& m) {
        w.u8(std::uint8_t(Op::ReadFlash));
        w.u32(m.deviceId);
    }
    void operator()(const ProgramHsync& m) {
        w.u8(std::uint8_t(Op::ProgramHsync));
        w.u32(m.deviceId);
        w.u16(m.version);
    }
    void operator()(const HsyncProgrammed& m) {
        w.u8(std::uint8_t(Op::HsyncProgrammed));
        w.u32(m.exitCode);
    }
    void operator()(const FlashReply& m) {
        w.u8(std::uint8_t(Op::FlashReply));
        w.u32(m.base);
        w.u32(m.extent);
        w.bytes(m.bytes);
    }
    void operator()(const Status& m) {
        w.u8(std::uint8_t(Op::Status));
        w.flag(m.ok);
        w.text(m.error);
    }
    void operator()(const HelloReply& m) {
        w.u8(std::uint8_t(Op::HelloReply));
        w.u32(m.version);
    }
    void operator()(const EnumerateReply& m) {
        w.u8(std::uint8_t(Op::EnumerateReply));
        w.u32(static_cast<std::uint32_t>(m.interfaces.size()));
        for (const auto& i : m.interfaces) {
            w.u32(i.deviceId);
            w.u32(i.iface);
            w.u16(i.vendorId);
            w.u16(i.productId);
            w.u16(i.version);
            w.bytes(i.descriptor);
        }
    }
    void operator()(const FeatureReply& m) {
        w.u8(std::uint8_t(Op::FeatureReply));
        w.i32(m.result);
        w.bytes(m.report);
    }
    void operator()(const InputReply& m) {
        w.u8(std::uint8_t(Op::InputReply));
        w.u8(static_cast<std::uint8_t>(m.status));
        w.bytes(m.report);
    }
    void operator()(const DeviceList& m) {
        w.u8(std::uint8_t(Op::DeviceList));
        w.u32(static_cast<std::uint32_t>(m.devices.size()));
        for (const auto& d : m.devices) {
            w.u32(d.deviceId);
            w.u16(d.vendorId);
            w.u16(d.productId);
            w.u16(d.version);
            w.u32(d.interfaces);
            w.flag(d.present);
            w.u32(d.latencyMs);
            w.u64(d.refuseNth);
            w.flag(d.refuseAll);
        }
    }
};

// Byte sizes of the smallest list entries (an empty descriptor / the fixed fields).
constexpr std::size_t kWireInterfaceMin = 4 + 4 + 2 + 2 + 2 + 4;
constexpr std::size_t kDeviceStateMin = 4 + 2 + 2 + 2 + 4 + 1 + 4 + 8 + 1;

std::optional<Message> decodeWith(Reader& r) {
    const auto op = static_cast<Op>(r.u8());
    if (r.failed()) return std::nullopt;
    switch (op) {
        case Op::Hello:
            return Hello{r.u32()};
        case Op::Enumerate:
            return Enumerate{};
        case Op::Open: {
            Open m;
            m.deviceId = r.u32();
            m.iface = r.u32();
            m.collectionIndex = r.u32();
            const std::uint8_t mode = r.u8();
            if (mode > static_cast<std::uint8_t>(OpenMode::ReadOnly)) r.fail("open mode " + std::to_string(mode));
            m.mode = static_cast<OpenMode>(mode);
            m.ownerId = r.u64();
            m.owner = r.text();
            if (!r.failed() && m.ownerId == 0) r.fail("open without an owner id");
            return m;
        }
        case Op::GetFeature:
        case Op::SetFeature: {
            auto report = r.bytes(kMaxWireReport, "feature report");
            if (!r.failed() && report.empty()) r.fail("empty feature report");
            if (op == Op::GetFeature) return GetFeature{std::move(report)};
            return SetFeature{std::move(report)};
        }
        case Op::ReadInput: {
            ReadInput m;
            m.timeoutMs = r.u32();
            m.maxLength = r.u32();
            if (!r.failed() && (m.maxLength == 0 || m.maxLength > kMaxWireReport))
                r.fail("input buffer of " + std::to_string(m.maxLength) + " bytes");
            return m;
        }
        case Op::Close:
            return Close{};
        case Op::Watch:
            return Watch{};
        case Op::BusChanged:
            return BusChanged{r.u64()};
        case Op::ListDevices:
            return ListDevices{};
        case Op::Unplug:
            return Unplug{r.u32()};
        case Op::Replug:
            return Replug{r.u32()};
        case Op::SetFaults: {
            SetFaults m;
            m.deviceId = r.u32();
            m.latencyMs = r.u32();
            m.refuseNth = r.u64();
            m.refuseAll = r.flag();
            return m;
        }
        case Op::PushInput: {
            PushInput m;
            m.deviceId = r.u32();
            m.iface = r.u32();
            m.report = r.bytes(kMaxWireReport, "input report");
            if (!r.failed() && m.report.empty()) r.fail("empty input report");
            return m;
        }
        case Op::ReadFlash:
            return ReadFlash{r.u32()};
        case Op::ProgramHsync: {
            ProgramHsync m;
            m.deviceId = r.u32();
            m.version = r.u16();
            return m;
        }
        case Op::HsyncProgrammed:
            return HsyncProgrammed{r.u32()};
        case Op::FlashReply: {
            FlashReply m;
            m.base = r.u32();
            m.extent = r.u32();
            m.bytes = r.bytes(kMaxFlashBytes, "flash");
            if (!r.failed() && m.extent > m.bytes.size()) r.fail("flash extent past its bytes");
            return m;
        }
        case Op::Status: {
            Status m;
            m.ok = r.flag();
            m.error = r.text();
            return m;
        }
        case Op::HelloReply:
            return HelloReply{r.u32()};
        case Op::EnumerateReply: {
            EnumerateReply m;
            const std::uint32_t n = r.count(kWireInterfaceMin);
            for (std::uint32_t k = 0; k < n && !r.failed(); ++k) {
                WireInterface i;
                i.deviceId = r.u32();
                i.iface = r.u32();
                i.vendorId = r.u16();
                i.productId = r.u16();
                i.version = r.u16();
                i.descriptor = r.bytes(static_cast<std::uint32_t>(kMaxDescriptorBytes), "report descriptor");
                m.interfaces.push_back(std::move(i));
            }
            return m;
        }
        case Op::FeatureReply: {
            FeatureReply m;
            m.result = r.i32();
            m.report = r.bytes(kMaxWireReport, "feature answer");
            return m;
        }
        case Op::InputReply: {
            InputReply m;
            const std::uint8_t s = r.u8();
            if (s > static_cast<std::uint8_t>(ReadStatus::Error)) r.fail("read status " + std::to_string(s));
            m.status = static_cast<ReadStatus>(s);
            m.report = r.bytes(kMaxWireReport, "input report");
            return m;
        }
        case Op::DeviceList: {
            DeviceList m;
            const std::uint32_t n = r.count(kDeviceStateMin);
            for (std::uint32_t k = 0; k < n && !r.failed(); ++k) {
                DeviceState d;
                d.deviceId = r.u32();
                d.vendorId = r.u16();
                d.productId = r.u16();
                d.version = r.u16();
                d.interfaces = r.u32();
                d.present = r.flag();
                d.latencyMs = r.u32();
                d.refuseNth = r.u64();
                d.refuseAll = r.flag();
                m.devices.push_back(d);
            }
            return m;
        }
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(op));
    r.fail(std::string("unknown opcode ") + hex);
    return std::nullopt;
}

}  // namespace

std::vector<std::uint8_t> encode(const Message& message) {
    Writer w;
    std::visit(Encoder{w}, message);
    return w.frame();
}

std::optional<std::uint32_t> bodyLength(std::span<const std::uint8_t, 4> prefix) {
    const std::uint32_t n = static_cast<std::uint32_t>(prefix[0]) | static_cast<std::uint32_t>(prefix[1]) << 8 |
                            static_cast<std::uint32_t>(prefix[2]) << 16 | static_cast<std::uint32_t>(prefix[3]) << 24;
    if (n == 0 || n > kMaxBodyBytes) return std::nullopt;
    return n;
}

std::optional<Message> decodeBody(std::span<const std::uint8_t> body, std::string* reason) {
    Reader r(body);
    auto m = decodeWith(r);
    if (!r.failed() && !r.done()) r.fail("trailing bytes after the message");
    if (r.failed()) {
        if (reason != nullptr) *reason = r.why();
        return std::nullopt;
    }
    return m;
}

std::string interfacePath(std::uint32_t deviceId, std::uint32_t iface) {
    return "sim:dev" + std::to_string(deviceId) + "/if" + std::to_string(iface);
}

bool parseInterfacePath(const std::string& path, std::uint32_t& deviceId, std::uint32_t& iface) {
    unsigned long dev = 0, ifc = 0;
    int used = 0;
    if (std::sscanf(path.c_str(), "sim:dev%lu/if%lu%n", &dev, &ifc, &used) != 2) return false;
    if (static_cast<std::size_t>(used) != path.size() || dev > 1000000 || ifc > 255) return false;
    deviceId = static_cast<std::uint32_t>(dev);
    iface = static_cast<std::uint32_t>(ifc);
    return true;
}

std::vector<CollectionDesc> collectionsOf(const EnumerateReply& reply, std::size_t limit) {
    std::vector<CollectionDesc> out;
    for (const auto& i : reply.interfaces) {
        const auto parsed = parseReportDescriptor(i.descriptor);
        if (!parsed) continue;
        for (auto& d :
             describeCollections(*parsed, i.vendorId, i.productId, i.version, interfacePath(i.deviceId, i.iface))) {
            if (out.size() >= limit) return out;
            out.push_back(std::move(d));
        }
    }
    return out;
}

const char* ioStatusText(IoStatus status) {
    switch (status) {
        case IoStatus::Ok:
            return "ok";
        case IoStatus::Closed:
            return "the simulator closed the connection";
        case IoStatus::Timeout:
            return "the simulator did not answer in time";
        case IoStatus::Error:
            return "socket error";
        case IoStatus::BadMessage:
            return "malformed message";
    }
    return "?";
}

namespace {

// Waits for `events` until the deadline. Ok when ready, Timeout, or Error.
IoStatus waitFor(int fd, short events, platform::Clock& clock, std::uint64_t deadlineMs) {
    for (;;) {
        int waitMs = -1;
        if (deadlineMs != kNoDeadline) {
            const std::uint64_t now = clock.monotonicMs();
            if (now >= deadlineMs) return IoStatus::Timeout;
            waitMs = static_cast<int>(std::min<std::uint64_t>(deadlineMs - now, 60000));
        }
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, waitMs);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return IoStatus::Error;
        }
        if (rc == 0) continue;  // re-check the deadline
        // POLLHUP with data still buffered: let recv drain it and report the end itself.
        if ((p.revents & events) != 0 || (p.revents & (POLLHUP | POLLERR)) != 0) return IoStatus::Ok;
        if ((p.revents & POLLNVAL) != 0) return IoStatus::Error;
    }
}

IoStatus sendAll(int fd, std::span<const std::uint8_t> data, platform::Clock& clock, std::uint64_t deadlineMs) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (const IoStatus s = waitFor(fd, POLLOUT, clock, deadlineMs); s != IoStatus::Ok) return s;
            continue;
        }
        return (errno == EPIPE || errno == ECONNRESET) ? IoStatus::Closed : IoStatus::Error;
    }
    return IoStatus::Ok;
}

IoStatus recvAll(int fd, std::span<std::uint8_t> data, platform::Clock& clock, std::uint64_t deadlineMs) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::recv(fd, data.data() + done, data.size() - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return IoStatus::Closed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (const IoStatus s = waitFor(fd, POLLIN, clock, deadlineMs); s != IoStatus::Ok) return s;
            continue;
        }
        return errno == ECONNRESET ? IoStatus::Closed : IoStatus::Error;
    }
    return IoStatus::Ok;
}

}  // namespace

IoStatus sendMessage(int fd, const Message& message, platform::Clock& clock, std::uint64_t deadlineMs) {
    const auto frame = encode(message);
    return sendAll(fd, frame, clock, deadlineMs);
}

IoStatus recvMessage(int fd, Message& out, platform::Clock& clock, std::uint64_t deadlineMs, std::string* reason) {
    std::uint8_t prefix[4];
    if (const IoStatus s = recvAll(fd, prefix, clock, deadlineMs); s != IoStatus::Ok) return s;
    const auto n = bodyLength(std::span<const std::uint8_t, 4>(prefix, 4));
    if (!n) {
        if (reason != nullptr) *reason = "message length outside 1.." + std::to_string(kMaxBodyBytes);
        return IoStatus::BadMessage;
    }
    std::vector<std::uint8_t> body(*n);
    if (const IoStatus s = recvAll(fd, body, clock, deadlineMs); s != IoStatus::Ok) return s;
    auto m = decodeBody(body, reason);
    if (!m) return IoStatus::BadMessage;
    out = std::move(*m);
    return IoStatus::Ok;
}

int connectUnixSocket(const std::string& path, std::string& error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        error =
            "socket path '" + path + "' is empty or longer than " + std::to_string(sizeof addr.sun_path - 1) + " bytes";
        return -1;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return -1;
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        error = "cannot reach the simulator at " + path + ": " + std::strerror(errno) + " (is vorlick-sim running?)";
        ::close(fd);
        return -1;
    }
    return fd;
}

Channel::Channel(std::string path, platform::Clock& clock, int timeoutMs)
    : path_(std::move(path)), clock_(clock), timeoutMs_(timeoutMs) {}

Channel::~Channel() { drop(); }

bool Channel::connect(std::string& error) {
    drop();
    fd_ = connectUnixSocket(path_, error);
    if (fd_ < 0) return false;
    Message answer;
    // A simulator that turns the hello away (too many sockets) has hung up: nothing to keep.
    if (!call(Hello{}, answer, 0, error)) {
        drop();
        return false;
    }
    const auto* hello = std::get_if<HelloReply>(&answer);
    if (hello == nullptr || hello->version != kProtocolVersion) {
        error = "the simulator at " + path_ + " speaks protocol " +
                (hello != nullptr ? std::to_string(hello->version) : std::string("?")) + ", this program " +
                std::to_string(kProtocolVersion);
        drop();
        return false;
    }
    return true;
}

bool Channel::call(const Message& request, Message& answer, std::uint32_t extraWaitMs, std::string& error) {
    if (fd_ < 0) {
        error = "the connection to the simulator at " + path_ + " is closed";
        return false;
    }
    const std::uint64_t deadline = clock_.monotonicMs() + static_cast<std::uint64_t>(timeoutMs_) + extraWaitMs;
    std::string reason;
    IoStatus s = sendMessage(fd_, request, clock_, deadline);
    if (s == IoStatus::Ok) s = recvMessage(fd_, answer, clock_, deadline, &reason);
    if (s != IoStatus::Ok) {
        error = "simulator at " + path_ + ": " + ioStatusText(s) + (reason.empty() ? "" : ": " + reason);
        drop();
        return false;
    }
    if (const auto* st = std::get_if<Status>(&answer); st != nullptr && !st->ok) {
        error = st->error.empty() ? "the simulator refused the request" : st->error;
        return false;
    }
    return true;
}

void Channel::sendOnly(const Message& request) {
    if (fd_ >= 0) (void)sendMessage(fd_, request, clock_, clock_.monotonicMs() + 100);
}

void Channel::drop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace hidlink::simwire
