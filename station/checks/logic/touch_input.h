#pragma once
// The drawing check's input: touch frames assembled from the controller's maintenance touch
// reports (report 3, a frame spread over as many reports as its contacts need) or, in driver
// mode, from the system digitizer's reports; and the EMR pen's samples (report 11).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "controllerlink/raw_input.h"

namespace station::checks {

inline constexpr std::size_t kFrameContacts = 20;

// Contact status bits: bit 0 the contact touches the panel; 7 and 5 are the states drawn.
inline constexpr std::uint32_t kContactTouching = 1;

struct ContactRecord {
    std::uint32_t status = 0;
    std::uint32_t id = 0;
    std::uint32_t sizeX = 0, sizeY = 0;  // stored, not used
    std::uint32_t x = 0;
    std::uint32_t extraX = 0;
    std::uint32_t y = 0;
    std::uint32_t extraY = 0;
};

struct TouchFrame {
    std::uint32_t scanTime = 0;
    std::uint32_t count = 0;  // contacts of the frame (those past the 20 slots are not kept)
    std::array<ContactRecord, kFrameContacts> contacts{};

    std::size_t kept() const { return count < kFrameContacts ? count : kFrameContacts; }
};

// The contact format of the maintenance touch reports, from the version answer: its flags
// (bit 0 two size words, bit 2 an extra word after X and after Y) and the slots per report.
struct ContactFormat {
    std::uint8_t flags = 0;
    std::uint8_t slotsPerReport = 5;

    std::size_t slotBytes() const;
    // Report id, a byte, the count, the slots and the 16-bit scan time.
    std::size_t reportBytes() const { return 3 + slotsPerReport * slotBytes() + 2; }
};

// Collects the contacts of one frame: the report carrying the count opens it, follow-on reports
// of the same scan time add to it, and the frame is handed out once every contact came.
class FrameAssembler {
public:
    // A maintenance touch report. Nullopt until a frame is complete; a report too short for
    // the announced format, or a follow-on of another scan, is left out.
    std::optional<TouchFrame> addMaintenanceReport(std::span<const std::uint8_t> report, const ContactFormat& format);
    // A parsed report of the system's digitizer (its first report of a frame carries the count).
    std::optional<TouchFrame> addRawRecord(const controllerlink::RawContactRecord& record);

private:
    // Starts a frame when `count` is nonzero; false for a follow-on that does not belong.
    bool begin(std::uint32_t count, std::uint32_t scanTime);
    void append(const ContactRecord& contact);
    std::optional<TouchFrame> completed();

    TouchFrame building_;
    std::uint32_t received_ = 0;
    bool open_ = false;
};

// The pen's status bits: 0x21 the tip touches, 0x20 the pen hovers in range.
inline constexpr std::uint8_t kPenTip = 0x01;
inline constexpr std::uint8_t kPenHovering = 0x20;
inline constexpr std::uint8_t kPenTouching = 0x21;

struct PenSample {
    std::uint8_t reportId = 0;
    std::uint8_t status = 0;
    std::uint16_t x = 0, y = 0, pressure = 0;
};

// The first 8 bytes of a pen report (id 11); nullopt for anything else or a short report.
std::optional<PenSample> decodePenSample(std::span<const std::uint8_t> report);

}  // namespace station::checks
