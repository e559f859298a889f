#pragma once
// Finds the controller's bootloader collection, opens it for a job and moves feature reports
// to and from it in the collection's transport mode (TransportMode):
//   Direct, DirectShort  the report as it is;
//   WrappedPaused        wrapped in the 1024-byte frame, 10 ms pause before the transfer, one
//                        try (F11);
//   Wrapped              wrapped, no pause; a get is tried up to 3 times, 1 ms apart (F09).
// Protocol F11 uses device-table key 0, F09 key 1. A key is open only inside a probe or a job.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "romwrite/link/ubl_device.h"
#include "romwrite/log/writer_log.h"

namespace romwrite {

inline constexpr int kF11Key = 0;
inline constexpr int kF09Key = 1;

class BootloaderLink {
public:
    BootloaderLink(hidlink::DeviceTable& table, WriterLog& log, platform::Clock& clock)
        : table_(table), log_(log), clock_(clock) {}

    // Find, identify and release a collection of each protocol; probeDevice tries F11 first
    // and sets device.kind.
    bool probeF11(UblDevice& device);
    bool probeF09(UblDevice& device);
    bool probeDevice(UblDevice& device);

    // The open at the start of a job, for device.kind; sets result and errorText on failure
    // and never leaves the key open then.
    bool openUblDevice(UblDevice& device, hidlink::DeviceInfo& info);
    // Closes the job's key; a failure (the key was not open) logs "CloseKVHID error.".
    bool closeUblDevice(const UblDevice& device);
    bool isOpen(int key) const { return table_.contains(key); }

    // The F11 pair addresses key 0, the F09 pair key 1. buffer[0] is the report id; true when
    // the transfer succeeded.
    bool setFeatureF11(std::span<const std::uint8_t> frame, TransportMode mode);
    bool getFeatureF11(std::span<std::uint8_t> buffer, TransportMode mode);
    bool setFeatureF09(std::span<const std::uint8_t> frame, TransportMode mode);
    bool getFeatureF09(std::span<std::uint8_t> buffer, TransportMode mode);

    // The system's account of the last failed transfer or open: errno (0 when the transport
    // gave none) and a message for the log.
    int lastSystemError() const { return lastErrno_; }
    const std::string& lastSystemMessage() const { return lastMessage_; }

    WriterLog& log() { return log_; }
    platform::Clock& clock() { return clock_; }

private:
    // Which collections a protocol accepts, its table key, and whether the probe lists every
    // collection it saw (F11) or only when none matched (F09).
    struct ProbeRule {
        bool (*accepts)(const hidlink::CollectionIdentity&);
        int key;
        bool listAlways;
    };
    // Enumerates, logs, picks the first accepted collection and opens it under the rule's key.
    std::optional<hidlink::CollectionIdentity> findAndOpen(const ProbeRule& rule, hidlink::DeviceInfo& info);
    bool set(int key, std::span<const std::uint8_t> frame, TransportMode mode);
    bool get(int key, std::span<std::uint8_t> buffer, TransportMode mode);
    bool getOnce(int key, std::span<std::uint8_t> buffer);
    void noteFailure(int key);
    bool openAndQuery(const hidlink::CollectionIdentity& id, int key, hidlink::DeviceInfo& info);

    hidlink::DeviceTable& table_;
    WriterLog& log_;
    platform::Clock& clock_;
    int lastErrno_ = 0;
    std::string lastMessage_;
};

}  // namespace romwrite
