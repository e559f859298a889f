#pragma once
// The TKP window's inputs as its runner hands them over: the recipe's TKP keys, the station's
// scan values and the check's record; and the pen link as the window drives it.
#include "station/checks/logic/tkp_check.h"
#include "station/sequence/check_steps.h"

namespace station {
class DeviceLink;
}

namespace station::checks {

TkpInputs tkpInputs(CheckContext& check);

class PenLinkDevice final : public TkpDevice {
public:
    explicit PenLinkDevice(DeviceLink& pen) : pen_(pen) {}
    bool startPenMaintenance() override;
    bool setPenScan(std::uint8_t gainX, std::uint8_t gainY, std::uint8_t enable, std::uint8_t blank) override;
    bool sendScanReport(std::uint8_t gainX, std::uint8_t gainY, std::uint8_t enable, std::uint8_t blank) override;
    bool stopPenMaintenance() override;
    void resetLineStatistics(std::uint32_t window) override;
    void addLineReport(std::span<const std::uint8_t> report) override;
    const controllerlink::LineStatistics& lineStatistics() const override;

private:
    DeviceLink& pen_;
};

}  // namespace station::checks
