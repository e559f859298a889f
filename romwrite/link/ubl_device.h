#pragma once
// The one record a writer job leaves its outcome in. The probe fills the identity, the job's
// worker thread the rest; the window reads progress and phase while the job runs and the other
// fields only after the worker has ended.
#include <atomic>
#include <cstdint>
#include <string>

namespace romwrite {

// Result codes of a job.
inline constexpr std::int32_t kResultOk = 0;
inline constexpr std::int32_t kResultFailed = 1;
inline constexpr std::int32_t kResultOpen = 2;
inline constexpr std::int32_t kResultImageRange = 3;
inline constexpr std::int32_t kResultNoAnswer = 4;
inline constexpr std::int32_t kResultSet = 16;
inline constexpr std::int32_t kResultGet = 17;
inline constexpr std::int32_t kResultChecksum = 48;
inline constexpr std::int32_t kResultLockedPid = 50;

// Phases shown by the window.
inline constexpr std::uint32_t kPhaseNone = 0;
inline constexpr std::uint32_t kPhaseConnecting = 1;
inline constexpr std::uint32_t kPhaseProgramming = 3;
inline constexpr std::uint32_t kPhaseConfirming = 4;
inline constexpr std::uint32_t kPhaseCompleted = 5;
inline constexpr std::uint32_t kPhaseAborted = 10;

// Which bootloader protocol the collection found speaks.
enum class DeviceKind : std::uint32_t { None = 0, F09 = 1, F11 = 2 };

// How feature reports travel to the collection.
enum class TransportMode : std::uint8_t {
    None = 0,
    Direct = 1,         // the report as it is (F11; F09 long frames on usage 0x11)
    DirectShort = 2,    // the report as it is, F09 short frames (usage 0x01)
    Wrapped = 3,        // in the 1024-byte wrapper, a get tried up to 3 times (F09, usage 0x0B)
    WrappedPaused = 4,  // in the wrapper after a 10 ms pause, one try (F11, usage 0x0B)
};

// Product ids of the two bootloaders.
inline constexpr std::uint32_t kF11BootloaderPid = 0x0094;
inline constexpr std::uint32_t kF09BootloaderPid = 0x0112;

struct UblDevice {
    static constexpr std::size_t kErrorTextMax = 127;

    std::string errorText;  // the last failure, at most kErrorTextMax characters
    std::int32_t result = kResultOk;
    std::atomic<std::uint32_t> progress{0};  // offset of the block being sent
    std::atomic<std::uint32_t> phase{kPhaseNone};
    std::uint32_t vendorId = 0, productId = 0;
    std::uint32_t version = 0, subVersion = 0;
    TransportMode mode = TransportMode::None;
    std::uint32_t usage = 0, usagePage = 0;
    std::uint32_t mpuType = 0, ublVersion = 0;
    std::uint32_t security = 0;  // 0x0F: on
    DeviceKind kind = DeviceKind::None;
    // The job gave up with the controller in its bootloader and did not restart it: its flash
    // may hold half an image.
    bool leftInBootloader = false;

    void setError(std::string text) {
        if (text.size() > kErrorTextMax) text.resize(kErrorTextMax);
        errorText = std::move(text);
    }
};

}  // namespace romwrite
