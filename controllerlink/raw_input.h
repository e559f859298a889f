#pragma once
// Touch reports of the system's digitizer collection (usage page 0x0D, usage 4: a touch
// screen), decoded through its report descriptor: the contact count, the scan time and up to
// five contact slots, as the check windows read them in driver mode before the controller's
// own reports arrive.
#include <array>
#include <cstdint>
#include <span>

#include "hidlink/descriptor.h"
#include "hidlink/device_table.h"
#include "hidlink/identity.h"
#include "hidlink/report_sink.h"

namespace controllerlink {

inline constexpr std::size_t kRawContactSlots = 5;

// Flag bits of a contact slot.
inline constexpr std::uint8_t kContactTip = 1;
inline constexpr std::uint8_t kContactInRange = 2;
inline constexpr std::uint8_t kContactConfidence = 4;

struct RawContact {
    std::uint8_t flags = 0;
    std::uint16_t contactId = 0;
    std::uint16_t x = 0;
    std::uint16_t y = 0;
};

struct RawContactRecord {
    std::uint8_t reportId = 0;
    std::uint8_t contactCount = 0;
    std::uint16_t scanTime = 0;
    std::array<RawContact, kRawContactSlots> contacts{};
};

// The largest X and Y the digitizer reports; these defaults hold until one says otherwise.
struct RawTouchRanges {
    std::uint16_t maxX = 0x7FFC;
    std::uint16_t maxY = 0x7FF9;
};

// Decodes `report` (report id first) of the collection `caps` describes into `record` and
// takes the coordinate ranges into `ranges`. False, with both untouched, for a collection that
// is not a touch screen. Fields that lie past the end of a short report read as 0.
bool parseRawInput(const hidlink::TopCollection& caps, std::span<const std::uint8_t> report, RawContactRecord& record,
                   RawTouchRanges& ranges);

// The key the digitizer collection is open under while a window reads it.
inline constexpr int RAW_INPUT_KEY = 3;

// The controller's own digitizer collection (same vendor and product id as its touch
// collection), opened read-only while a window takes raw input; its reports go to the same sink
// as the controller's readers, under RAW_INPUT_KEY.
class RawInputReader {
public:
    explicit RawInputReader(hidlink::DeviceTable& table) : table_(table) {}
    ~RawInputReader() { stop(); }
    RawInputReader(const RawInputReader&) = delete;
    RawInputReader& operator=(const RawInputReader&) = delete;

    // False when the controller has no digitizer collection (not in driver mode), it cannot be
    // opened or a reader runs already.
    bool start(const hidlink::CollectionIdentity& controller, hidlink::ReportSink& sink);
    // Stops the reader and closes the collection; nothing when none is open.
    void stop();
    bool running() const { return open_; }

    // Decodes a report the reader handed on with the opened collection's descriptor.
    bool parse(std::span<const std::uint8_t> report, RawContactRecord& record, RawTouchRanges& ranges) const;

private:
    hidlink::DeviceTable& table_;
    hidlink::TopCollection caps_;
    bool open_ = false;
};

}  // namespace controllerlink
