#pragma once
// The writer without a window: device, phase, progress, status and message-box texts as lines
// on an error stream, the questions answered from an input stream ("y" or "yes" is Yes; any
// other line, and the end of input, is No).
#include <istream>
#include <ostream>
#include <string>

#include "platform/power.h"
#include "romwrite/writer/writer_port.h"

namespace romwrite {

class ConsoleFrontEnd final : public WriterPort, public EmbeddedConfirmation {
public:
    ConsoleFrontEnd(std::istream& in, std::ostream& out, platform::PowerStatus& power)
        : in_(in), out_(out), power_(power) {}

    void showWindow() override {}
    void showDeviceFields(const DeviceFields& fields) override;
    void setButtons(const ButtonStates&) override {}
    void showPhase(std::uint32_t phase, std::string_view text, std::string_view warning) override;
    void setProgress(std::uint32_t value, std::uint32_t range) override;
    void setStatusText(std::string_view text) override;
    void showImage(std::string_view path, std::string_view checksum, std::string_view size) override;
    void showBootloaderData(std::string_view mpuType, std::string_view ublVersion, std::string_view security) override;
    void messageBox(std::string_view text, std::string_view caption) override;
    bool askApplyUpdate() override;
    // Embedded mode's two pages before an update; each Yes needs mains power.
    bool confirm() override;

private:
    bool ask(std::string_view question);
    std::istream& in_;
    std::ostream& out_;
    platform::PowerStatus& power_;
    std::string lastFields_;
    std::string lastStatus_;
    int lastTenth_ = -1;
    bool warned_ = false;
};

}  // namespace romwrite
