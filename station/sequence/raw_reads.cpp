#include "station/sequence/raw_reads.h"

#include <algorithm>
#include <string>

namespace station {
namespace {

// Word 12 chooses what the controller scans, word 17 its filters: the two the test image sets.
constexpr std::size_t kScanModeWord = 12;
constexpr std::size_t kScanFilterWord = 17;
constexpr std::uint16_t kScanModeActualBit = 0x0004;
constexpr std::uint16_t kScanFilterActualBits = 0x0008 | 0x0020 | 0x0080;

std::uint16_t word(const std::array<std::uint8_t, kRegisterBytes>& image, std::size_t index) {
    return static_cast<std::uint16_t>(image[index * 2] | (image[index * 2 + 1] << 8));
}

bool scanWordsDiffer(const DeviceLink& touch, const std::array<std::uint8_t, kRegisterBytes>& test) {
    return touch.registerWord(kScanModeWord) != word(test, kScanModeWord) ||
           touch.registerWord(kScanFilterWord) != word(test, kScanFilterWord);
}

// One averaged read into the check's frames: what it summed (even when it failed), its retries
// and its flag. True when it completed.
bool keep(const AveragedFrame& read, controllerlink::Grid& grid, std::uint32_t& retries, ReadFlag flag,
          SensorFrames& frames) {
    grid = read.average;
    retries = read.retries;
    if (read.outOfRetries) frames.readFlags |= flag;
    return read.complete;
}

std::uint32_t count(std::int32_t recipeValue) { return recipeValue < 0 ? 0u : static_cast<std::uint32_t>(recipeValue); }

}  // namespace

StepOutcome readRawData(const RecipeSettings& s, DeviceLink& touch, platform::Clock& clock, UiPort& ui,
                        const ScanRegisterImages& images, SensorFrames& frames) {
    const auto abort = [&ui](const char* message) {
        ui.appendMessage(message);
        return StepOutcome::abort(message);
    };

    // The calibration spread is judged on the actual data, which only the normal scan gives.
    const bool calibrationOnActualData = s.CAL_THRESHOLD != 0 && s.CAL_OLD_DATA == 0;
    const bool actualDataWanted = s.GET_ACTDATA != 0 || s.CAL_THRESHOLD != 0;
    constexpr const char* kNoNormalScan = "Failed to get normal scan register.";
    if (calibrationOnActualData && !images.normalScanCaptured) return abort(kNoNormalScan);

    if (!touch.readRegisters()) return abort("Failed to get register.");
    // Something (a viewer, a reset) left the controller scanning another way: go back to the
    // normal scan first so the calibration restarts from it.
    if (scanWordsDiffer(touch, images.testRegisters)) {
        if (!images.normalScanCaptured) return abort(kNoNormalScan);
        clock.sleepMs(50);
        touch.setRegisters(images.normalScanRegisters);
        if (!touch.writeRegisters()) return abort("Failed to set register.");
        clock.sleepMs(10);
        (void)touch.calibrationControl(0);  // one calibration on the normal scan
        clock.sleepMs(10);
        if (!touch.calibrationControl(1)) return abort("Failed to disable auto calib switch.");
        clock.sleepMs(10);
        (void)touch.writeBlock6();
        clock.sleepMs(10);
    }
    if (scanWordsDiffer(touch, images.testRegisters)) {
        touch.setRegisters(images.testRegisters);
        if (!touch.writeRegisters()) return abort("Failed to set register.");
        clock.sleepMs(10);
    }

    frames.readFlags = 0;
    // The lines the frames cover, held to the grid as the reads hold them.
    frames.txCount = touch.txCount();
    frames.rxCount = touch.rxCount();
    const std::uint32_t frameCount = count(s.DATA_COUNT);
    const std::uint32_t retries = count(s.DATA_COUNT_RETRY);
    if (!keep(touch.readRawAverage(frameCount, retries, s.FLR_X_CANCELED), frames.rawAverage, frames.rawRetries,
              RawOutOfRetries, frames))
        return abort("Failed to get raw data");

    if (s.CAL_OLD_DATA != 0 && s.CAL_THRESHOLD != 0 && s.CALTH_NOFILTER == 0 &&
        !keep(touch.readCalAverage(frameCount, retries, s.FLR_X_CANCELED), frames.calAverage, frames.calRetries,
              CalOutOfRetries, frames))
        return abort("Failed to get calibration data");

    if (actualDataWanted && !images.normalScanCaptured) {
        // Only logged, never judged: the log shows no data rather than an earlier check's.
        frames.actualAverage = controllerlink::Grid{};
        ui.appendMessage("not get actual data");
    } else if (actualDataWanted) {
        touch.setRegisters(images.normalScanRegisters);
        touch.setRegisterWord(kScanModeWord,
                              static_cast<std::uint16_t>(touch.registerWord(kScanModeWord) & ~kScanModeActualBit));
        touch.setRegisterWord(kScanFilterWord,
                              static_cast<std::uint16_t>(touch.registerWord(kScanFilterWord) & ~kScanFilterActualBits));
        if (!keep(touch.readActualAverage(frameCount, retries, s.CAL_F_USE != 0), frames.actualAverage,
                  frames.actualRetries, ActualOutOfRetries, frames)) {
            // A spread judged on data that never came would pass any panel.
            if (calibrationOnActualData) return abort("not get actual data");
            ui.appendMessage("not get actual data");
        }
        touch.setRegisters(images.testRegisters);
        if (!touch.writeRegisters()) return abort("Failed to set register for test.");
        clock.sleepMs(10);
    }

    if (s.DB_THRESHOLD != 0) {
        const DeviationFrame sd = touch.readStandardDeviation(count(s.DB_COUNT), retries, s.FLR_X_CANCELED);
        frames.sdSigma = sd.sigma;
        frames.sdRetries = sd.retries;
        if (sd.outOfRetries) frames.readFlags |= SdOutOfRetries;
        if (!sd.complete) return abort("Failed to get Standard Deviation Data");
    }
    return StepOutcome::pass();
}

}  // namespace station
