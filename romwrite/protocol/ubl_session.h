#pragma once
// One job's conversation with a bootloader: command transactions, the block loop, the data
// check and the F11 erase. Every failure leaves result and errorText in the UblDevice and its
// lines in the log.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "romwrite/image/firmware_image.h"
#include "romwrite/link/bootloader_link.h"
#include "romwrite/link/ubl_device.h"
#include "romwrite/protocol/frames.h"

namespace romwrite {

// Busy answers polled 1 ms apart before a command or a block gives up.
inline constexpr int kBusyPolls = 1000;
// The erase poll runs back to back; it gives up after this many busy answers or this much time
// after the erase's 2 s pause, whichever comes first (a full erase takes a few seconds).
inline constexpr int kErasePolls = 30000;
inline constexpr std::uint64_t kErasePollMs = 30000;

// What the two protocols do differently around one exchange and in the steps of a job.
struct ProtocolPolicy {
    std::int32_t setFailed;          // result of a refused set
    std::int32_t getFailed;          // result of a refused get
    std::int32_t blockTimeout;       // result of a block that stays busy
    std::int32_t noAnswer;           // result of a step whose tries all failed
    int tries;                       // tries of device type, bootloader entry and bootloader data
    bool systemErrorInText;          // transfer failures end their text in " (errno)"
    bool logRefusedExit;             // a refused exit command leaves "SET ERROR" in the log
    bool logResponseAfterFailedGet;  // a block's failed get still logs its response byte
    bool readsSecurity;              // the bootloader data include the security state
};
inline constexpr ProtocolPolicy kF11Policy{kResultSet, kResultGet, kResultNoAnswer, kResultNoAnswer, 100, true, false,
                                           false,      false};
inline constexpr ProtocolPolicy kF09Policy{kResultFailed, kResultFailed, kResultFailed, kResultFailed, 3,
                                           false,         true,          true,          true};

// What a failure text names: "at command:N" or "at block:N".
enum class Exchange : std::uint8_t { Command, Block };

class UblSession {
public:
    UblSession(BootloaderLink& link, UblDevice& device) : link_(link), device_(device) {}

    // One command transaction in the device's protocol (device.kind). On success *status holds
    // byte 3 of the last response; *sent tells whether the set went through (command 0x03
    // succeeds either way).
    bool command(std::uint8_t code, std::array<std::uint8_t, 4> params = {}, std::uint8_t* status = nullptr,
                 bool* sent = nullptr);
    // Sends the image block by block with `code` (0x01, 0x80 or 0x84).
    bool sendBlocks(std::uint8_t code, const FirmwareImage& image);
    // Start address and size against the flash window of the device's protocol.
    bool checkData(const FirmwareImage& image);
    // F11: erase the whole flash.
    bool erase();

    // Steps both jobs take.
    // Refuses a job without a device, a write without a valid image, and an image outside the
    // flash window, before anything is sent.
    bool canStart(bool devicePresent, bool writeKind, const FirmwareImage* image);
    // Command 0x07: true when the bootloader answers its mode; another mode is logged.
    bool inBootloaderMode();
    // MPU type, bootloader version (and on F09 the security state), tried 10 ms apart.
    bool readBootloaderData();
    // "Exit UBL.": command 0x03, and 500 ms for the restart after a successful send.
    void leaveBootloader();
    void closeIfOpen();
    // "Close device." and the phase the job ends in.
    void finish();
    const ProtocolPolicy& policy() const;

    // The job's log, and a log line followed by the last transfer's system message.
    void log(std::string_view text) { link_.log().log(text); }
    void logError(std::string_view text) { link_.log().logError(text, link_.lastSystemMessage()); }

    bool isF11() const { return device_.kind == DeviceKind::F11; }
    // Long or short frames by the F09 transport mode; false for a mode that has none.
    bool frameKind(FrameKind& kind) const;

private:
    bool set(std::span<const std::uint8_t> frame);
    bool get(std::span<std::uint8_t> buffer);
    // Sets the frame; a refusal fails "SET ERROR at command:N" or "... at block:N".
    bool send(std::span<const std::uint8_t> frame, Exchange where, int n);
    // Reads the answer to `frame` until it stops answering busy (1 ms apart, kBusyPolls at
    // most) and checks its echo; `where` and `n` name the exchange in the failure texts.
    bool poll(std::span<const std::uint8_t> frame, std::span<std::uint8_t> answer, Exchange where, int n,
              std::int32_t timeoutResult);
    std::string failureText(const char* what, Exchange where, int n) const;
    void fail(std::int32_t result, std::string text);
    void dumpBoth(std::string_view head, std::span<const std::uint8_t> sent, std::span<const std::uint8_t> answer,
                  bool labelled);

    BootloaderLink& link_;
    UblDevice& device_;
};

std::string formatText(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace romwrite
