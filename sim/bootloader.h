#pragma once
// The controller's USB bootloader ("UBL"): command reports (id 7) in, response reports (id 8)
// out, polled until they stop answering busy (0x80). Generation F11 and F09 differ in their
// frames and commands (bootloader_f11.h, bootloader_f09.h); the transport, the busy polls, the
// block checks and the injected faults are shared here. The bootloader object lives as long as
// the controller: its session state restarts with every entry, its fault counters do not.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/descriptor_builder.h"
#include "sim/flash_model.h"

namespace sim {

enum class BootloaderKind : std::uint8_t { Auto, None, F11, F09 };

// A fault that fires when a block (index n from the image start, address 0x8000 + n × block
// size, as the writer counts its blocks) or a command code arrives.
struct BootloaderFault {
    enum class What : std::uint8_t { BusyForever, BreakEcho, Status, Unplug };
    What what = What::BusyForever;
    bool atBlock = true;
    std::uint32_t block = 0;
    std::uint8_t command = 0;
    std::uint8_t status = 0;  // What::Status
    std::uint32_t times = 1;  // how often it fires; 0 every time
};

struct BootloaderConfig {
    BootloaderKind kind = BootloaderKind::Auto;  // Auto: F11 on R6, F09 on R5
    std::uint16_t productId = 0;                 // 0: 0x0094 (F11), 0x0112 (F09)
    std::uint16_t usage = 0;                     // F11 collection usage; 0: the touch usage
    std::uint8_t version = 0x54;
    std::uint8_t mpuType = 0x21;
    std::uint8_t security = 0x00;  // 0x0F: on
    std::uint32_t eraseBusyPolls = 3;
    std::uint32_t blockBusyPolls = 0;
    std::uint8_t eraseStatus = 0;
    std::uint8_t confirmStatus = 0;
    bool writeProtectError = false;  // security answers carry bit 6
    bool startInBootloader = false;  // the flash holds nothing to run
    std::uint32_t versionAddress = 0x8010;
    std::uint64_t refuseSet = 0;  // the Nth set-feature the bootloader receives (1-based; 0 off)
    std::uint64_t refuseGet = 0;  // the Nth get-feature
    std::vector<BootloaderFault> faults;
};

// Statuses the model answers besides the protocol's own (0 done, 0x80 busy, 0x0C..0x0E).
namespace ublstatus {
inline constexpr std::uint8_t kDone = 0x00;
inline constexpr std::uint8_t kBusy = 0x80;
inline constexpr std::uint8_t kFrameError = 0x10;     // length byte or check bytes wrong
inline constexpr std::uint8_t kAddressError = 0x11;   // block outside the flash or not aligned
inline constexpr std::uint8_t kSequenceError = 0x12;  // block out of order
inline constexpr std::uint8_t kUnknownCommand = 0x13;
inline constexpr std::uint8_t kNotMatched = 0x14;  // encrypted block without data matching
inline constexpr std::uint8_t kMode = 6;           // answer of command 0x07
}  // namespace ublstatus

// How the bootloader's collection carries reports.
struct BootloaderShape {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    bool wrapped = false;      // everything inside the 1024-byte wrapper, id 0xBB
    bool shortFrames = false;  // F09 on usage 0x01: 74-byte commands, 4-byte responses
};

class Bootloader {
public:
    enum class Action : std::uint8_t { None, Restart, Unplug };
    static constexpr std::size_t kWrapperLength = 1024;
    static constexpr std::uint8_t kWrapperId = 0xBB;

    virtual ~Bootloader() = default;

    // A new session (entered from the main firmware, or a power-up into the bootloader).
    // The main firmware's product id and version are what data matching compares with.
    void start(std::uint16_t mainProductId, std::uint16_t mainVersion);
    // The whole report as it arrives on the collection. `action` tells the controller to
    // restart (exit command) or to drop off the bus (injected unplug).
    bool setFeature(std::span<const std::uint8_t> report, Action& action);
    long getFeature(std::span<std::uint8_t> report);

    const BootloaderShape& shape() const { return shape_; }
    // The collection as it enumerates when the bootloader runs after a power-up or restart.
    CollectionSpec collection() const;
    // Feature reports the bootloader needs on a collection shared with the main firmware.
    std::vector<ReportSpec> sharedReports() const;

    std::uint8_t security() const { return security_; }
    bool confirmed() const { return confirmed_; }
    std::uint64_t setsReceived() const { return sets_; }

    virtual std::size_t commandLength() const = 0;
    virtual std::size_t responseLength() const = 0;
    virtual std::uint32_t blockBytes() const = 0;

protected:
    Bootloader(const BootloaderConfig& config, FlashModel& flash, BootloaderShape shape);

    struct Reply {
        std::uint8_t status = ublstatus::kDone;
        std::uint32_t busyPolls = 0;
    };
    virtual bool isBlockCode(std::uint8_t code) const = 0;
    // First address past the flash the generation may program.
    virtual std::uint32_t flashEnd() const = 0;
    // The generation's own commands; false for a code it does not know.
    virtual bool command(std::span<const std::uint8_t> frame, Reply& reply) = 0;
    // Frame checks beyond the length (the short frames' check bytes).
    virtual bool frameIntact(std::span<const std::uint8_t> frame) const {
        (void)frame;
        return true;
    }
    // A block write: order, address and length checked, then programmed.
    Reply writeBlock(std::span<const std::uint8_t> frame, bool andWithFlash);
    std::span<const std::uint8_t> blockData(std::span<const std::uint8_t> frame) const;

    const BootloaderConfig& config_;
    FlashModel& flash_;
    std::uint8_t security_ = 0;
    bool confirmed_ = false;
    bool matched_ = false;
    std::uint16_t mainProductId_ = 0;
    std::uint16_t mainVersion_ = 0;

private:
    struct Pending {
        bool any = false;
        std::uint8_t code = 0;
        std::uint8_t param = 0;
        std::uint8_t status = 0;
        std::uint32_t busyLeft = 0;
        bool busyForever = false;
        bool echoBroken = false;
    };
    bool handleCommand(std::span<const std::uint8_t> frame, Action& action);
    // The fault of `what` that fires for this frame, counting it; nullptr when none does.
    const BootloaderFault* fire(BootloaderFault::What what, std::span<const std::uint8_t> frame);
    std::vector<std::uint8_t> response();

    BootloaderShape shape_;
    Pending pending_;
    std::uint8_t lastSetId_ = 0;  // what a wrapped get without a header answers
    std::uint8_t lastSequence_ = 0;
    std::uint32_t nextAddress_ = 0;
    std::uint64_t sets_ = 0;
    std::uint64_t gets_ = 0;
    std::vector<std::uint32_t> fired_;  // per configured fault
};

// The bootloader of `kind` (F11 or F09) on `shape`, programming `flash`; `config` must outlive it.
std::unique_ptr<Bootloader> makeBootloader(BootloaderKind kind, const BootloaderConfig& config, FlashModel& flash,
                                           BootloaderShape shape);

}  // namespace sim
