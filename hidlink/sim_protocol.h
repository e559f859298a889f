#pragma once
// The messages between vorlick-sim and its clients (the sim backend, `vorlick-sim ctl`). Every
// message is a 32-bit little-endian body length, then the body: an opcode byte and its fields,
// little-endian, byte strings as a 32-bit length and the bytes. sim/PROTOCOL.md describes it
// for people; this file is what both ends run. A peer is outside input: every length is capped
// before anything is allocated and every field is checked before it is used.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "hidlink/backend.h"
#include "hidlink/descriptor.h"

namespace platform {
class Clock;
}

namespace hidlink::simwire {

inline constexpr std::uint32_t kProtocolVersion = 2;
// A body never exceeds this; a larger length prefix means a broken or hostile peer.
inline constexpr std::uint32_t kMaxBodyBytes = 1u << 20;
// A report on the wire: the largest report the descriptor parser accepts, plus its id byte.
inline constexpr std::uint32_t kMaxWireReport = kMaxReportBytes + 1;
inline constexpr std::uint32_t kMaxText = 1024;
inline constexpr std::uint32_t kMaxListEntries = 1024;
// The server waits at most this long in one read request; longer waits are split by the client.
inline constexpr std::uint32_t kMaxReadWaitMs = 10000;
// Simulated per-transfer latency stays well inside a client's call timeout, or a slow device
// would look like a dead simulator.
inline constexpr std::uint32_t kMaxLatencyMs = 2000;
// A program flash copy on the wire (the controller's is 0x2C000 bytes).
inline constexpr std::uint32_t kMaxFlashBytes = 0x40000;

enum class Op : std::uint8_t {
    // requests of the HID backend
    Hello = 0x01,
    Enumerate = 0x02,
    Open = 0x03,
    GetFeature = 0x04,
    SetFeature = 0x05,
    ReadInput = 0x06,
    Close = 0x07,
    Watch = 0x08,
    // requests of the control channel
    ListDevices = 0x10,
    Unplug = 0x11,
    Replug = 0x12,
    SetFaults = 0x13,
    PushInput = 0x14,
    ReadFlash = 0x15,
    ProgramHsync = 0x1E,
    // answers
    Status = 0x40,
    HelloReply = 0x41,
    EnumerateReply = 0x42,
    FeatureReply = 0x43,
    InputReply = 0x44,
    DeviceList = 0x45,
    FlashReply = 0x46,
    BusChanged = 0x47,
    HsyncProgrammed = 0x4E,
};

struct Hello {
    std::uint32_t version = kProtocolVersion;
    friend bool operator==(const Hello&, const Hello&) = default;
};
struct Enumerate {
    friend bool operator==(const Enumerate&, const Enumerate&) = default;
};
// ownerId (never 0) tells the programs that hold devices apart; owner is how a refused program
// is told who holds the device.
struct Open {
    std::uint32_t deviceId = 0;
    std::uint32_t iface = 0;
    std::uint32_t collectionIndex = 0;
    OpenMode mode = OpenMode::Feature;
    std::uint64_t ownerId = 0;
    std::string owner;
    friend bool operator==(const Open&, const Open&) = default;
};
// report[0] is the wanted id; the size is the length the caller asks for.
struct GetFeature {
    std::vector<std::uint8_t> report;
    friend bool operator==(const GetFeature&, const GetFeature&) = default;
};
struct SetFeature {
    std::vector<std::uint8_t> report;
    friend bool operator==(const SetFeature&, const SetFeature&) = default;
};
struct ReadInput {
    std::uint32_t timeoutMs = 0;
    std::uint32_t maxLength = 0;
    friend bool operator==(const ReadInput&, const ReadInput&) = default;
};
struct Close {
    friend bool operator==(const Close&, const Close&) = default;
};
// Turns the socket into a hotplug feed: after the Status answer the server sends a BusChanged
// after every change of what Enumerate would list, and nothing else.
struct Watch {
    friend bool operator==(const Watch&, const Watch&) = default;
};
struct ListDevices {
    friend bool operator==(const ListDevices&, const ListDevices&) = default;
};
struct Unplug {
    std::uint32_t deviceId = 0;
    friend bool operator==(const Unplug&, const Unplug&) = default;
};
struct Replug {
    std::uint32_t deviceId = 0;
    friend bool operator==(const Replug&, const Replug&) = default;
};
struct SetFaults {
    std::uint32_t deviceId = 0;
    std::uint32_t latencyMs = 0;
    std::uint64_t refuseNth = 0;
    bool refuseAll = false;
    friend bool operator==(const SetFaults&, const SetFaults&) = default;
};
struct PushInput {
    std::uint32_t deviceId = 0;
    std::uint32_t iface = 0;
    std::vector<std::uint8_t> report;
    friend bool operator==(const PushInput&, const PushInput&) = default;
};

struct ReadFlash {
    std::uint32_t deviceId = 0;
    friend bool operator==(const ReadFlash&, const ReadFlash&) = default;
};

// The Hsync MCU programmed with an image whose version word is `version`.
struct ProgramHsync {
    std::uint32_t deviceId = 0;
    std::uint16_t version = 0;
    friend bool operator==(const ProgramHsync&, const ProgramHsync&) = default;
};

struct Status {
    bool ok = true;
    std::string error;
    friend bool operator==(const Status&, const Status&) = default;
};
struct HelloReply {
    std::uint32_t version = kProtocolVersion;
    friend bool operator==(const HelloReply&, const HelloReply&) = default;
};
// One present interface: its USB identity and report descriptor. The client runs the shared
// descriptor parser on it, so both backends describe a collection the same way.
struct WireInterface {
    std::uint32_t deviceId = 0;
    std::uint32_t iface = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;
    std::vector<std::uint8_t> descriptor;
    friend bool operator==(const WireInterface&, const WireInterface&) = default;
};
struct EnumerateReply {
    std::vector<WireInterface> interfaces;
    friend bool operator==(const EnumerateReply&, const EnumerateReply&) = default;
};
// result as the device answered (bytes, id included; <= 0 refused); report holds those bytes.
struct FeatureReply {
    std::int32_t result = -1;
    std::vector<std::uint8_t> report;
    friend bool operator==(const FeatureReply&, const FeatureReply&) = default;
};
struct InputReply {
    ReadStatus status = ReadStatus::Error;
    std::vector<std::uint8_t> report;
    friend bool operator==(const InputReply&, const InputReply&) = default;
};
struct DeviceState {
    std::uint32_t deviceId = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;
    std::uint32_t interfaces = 0;
    bool present = false;
    std::uint32_t latencyMs = 0;
    std::uint64_t refuseNth = 0;
    bool refuseAll = false;
    friend bool operator==(const DeviceState&, const DeviceState&) = default;
};
struct DeviceList {
    std::vector<DeviceState> devices;
    friend bool operator==(const DeviceList&, const DeviceList&) = default;
};
// bytes[k] is the flash byte at address base + k; the first `extent` bytes hold the last image.
struct FlashReply {
    std::uint32_t base = 0;
    std::uint32_t extent = 0;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const FlashReply&, const FlashReply&) = default;
};

// What the MCU's programming ended with: 0 written, else the code the scenario chose.
struct HsyncProgrammed {
    std::uint32_t exitCode = 0;
    friend bool operator==(const HsyncProgrammed&, const HsyncProgrammed&) = default;
};

// `changes` counts the bus's changes since the simulator started; only its change matters.
struct BusChanged {
    std::uint64_t changes = 0;
    friend bool operator==(const BusChanged&, const BusChanged&) = default;
};

using Message = std::variant<Hello, Enumerate, Open, GetFeature, SetFeature, ReadInput, Close, ListDevices, Unplug,
                             Replug, SetFaults, PushInput, ReadFlash, Status, HelloReply, EnumerateReply, FeatureReply,
                             InputReply, DeviceList, FlashReply, Watch, BusChanged, ProgramHsync, HsyncProgrammed>;

// The whole frame: length prefix and body.
std::vector<std::uint8_t> encode(const Message& message);
// The body length a 4-byte prefix announces; nothing when it is 0 or above kMaxBodyBytes.
std::optional<std::uint32_t> bodyLength(std::span<const std::uint8_t, 4> prefix);
// One body (without its prefix). Nothing, and a reason, for a truncated body, trailing bytes,
// an unknown opcode or a field out of range.
std::optional<Message> decodeBody(std::span<const std::uint8_t> body, std::string* reason = nullptr);

// "sim:dev<id>/if<iface>": how a simulated collection's node is named to the station.
std::string interfacePath(std::uint32_t deviceId, std::uint32_t iface);
bool parseInterfacePath(const std::string& path, std::uint32_t& deviceId, std::uint32_t& iface);

// The collections of an enumerate answer, in order, at most `limit`. An interface whose
// descriptor does not parse is skipped, as a real bus skips a node it cannot query.
std::vector<CollectionDesc> collectionsOf(const EnumerateReply& reply, std::size_t limit);

// Blocking socket I/O bounded by an absolute deadline on `clock` (kNoDeadline waits for ever).
inline constexpr std::uint64_t kNoDeadline = UINT64_MAX;
enum class IoStatus : std::uint8_t { Ok, Closed, Timeout, Error, BadMessage };
const char* ioStatusText(IoStatus status);
// Never raises SIGPIPE: a vanished peer is IoStatus::Closed.
IoStatus sendMessage(int fd, const Message& message, platform::Clock& clock, std::uint64_t deadlineMs);
IoStatus recvMessage(int fd, Message& out, platform::Clock& clock, std::uint64_t deadlineMs,
                     std::string* reason = nullptr);
// A connected stream socket, or -1 and one line in `error`.
int connectUnixSocket(const std::string& path, std::string& error);

// One client socket to the simulator that has exchanged hellos. A request that fails or times
// out leaves the stream out of step, so the socket is dropped and later calls fail at once.
class Channel {
public:
    Channel(std::string path, platform::Clock& clock, int timeoutMs);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool connect(std::string& error);
    // Sends `request` and waits for its answer at most the call timeout plus `extraWaitMs`.
    // A Status answer that says "not ok" is a failure with the simulator's text in `error`.
    bool call(const Message& request, Message& answer, std::uint32_t extraWaitMs, std::string& error);
    // Best effort, without waiting for an answer (a close on the way out).
    void sendOnly(const Message& request);
    void drop();
    platform::Clock& clock() { return clock_; }

private:
    std::string path_;
    platform::Clock& clock_;
    int timeoutMs_;
    int fd_ = -1;
};

}  // namespace hidlink::simwire
