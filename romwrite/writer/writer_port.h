#pragma once
// What the writer's state machine asks of its front end: the window, the console, or a test.
#include <cstdint>
#include <string>
#include <string_view>

namespace romwrite {

struct DeviceFields {
    std::string vendorId, productId, version, interface;  // " " each when cleared
};

struct ButtonStates {
    bool exit = false, fileSelect = false, deviceInfo = false, reset = false, write = false, encWrite = false;
    friend bool operator==(const ButtonStates&, const ButtonStates&) = default;
};

class WriterPort {
public:
    virtual ~WriterPort() = default;
    virtual void showWindow() = 0;
    virtual void showDeviceFields(const DeviceFields& fields) = 0;
    virtual void setButtons(const ButtonStates& buttons) = 0;
    // The two phase texts (main line, warning line) when the job's phase changes.
    virtual void showPhase(std::uint32_t phase, std::string_view text, std::string_view warning) = 0;
    virtual void setProgress(std::uint32_t value, std::uint32_t range) = 0;
    // Second part of the status bar.
    virtual void setStatusText(std::string_view text) = 0;
    // Path, checksum and size fields ("0x%04X").
    virtual void showImage(std::string_view path, std::string_view checksum, std::string_view size) = 0;
    // MPU type, bootloader version, security ("ON"/"OFF"); empty strings clear them.
    virtual void showBootloaderData(std::string_view mpuType, std::string_view ublVersion,
                                    std::string_view security) = 0;
    virtual void messageBox(std::string_view text, std::string_view caption) = 0;
    // "Apply this update?" (caption "Confirm"); true for Yes. May block; ticks meanwhile see
    // the asking state and do nothing.
    virtual bool askApplyUpdate() = 0;
};

// Embedded mode's confirmation before the window (dialog 102): true to go on.
class EmbeddedConfirmation {
public:
    virtual ~EmbeddedConfirmation() = default;
    virtual bool confirm() = 0;
};

}  // namespace romwrite
