#pragma once
// Firmware writing at the start of a check: the image's checksum against the recipe, the
// decision to write, the writer (romwrite) or the Hsync MCU programmer run as a child with the
// controller handed over to it, and the reconnect afterwards. What went wrong is left in
// firmwareFlags, which the check sequence turns into its codes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/child_process.h"

namespace station {

class Station;

// Starts a program and waits for it to end (the system's children, or a test's stand-in).
class ChildLauncher {
public:
    virtual ~ChildLauncher() = default;
    virtual platform::ChildEnd run(const std::vector<std::string>& argv, const std::string& workDir) = 0;
};

ChildLauncher& systemChildLauncher();

// The writers' command lines: the working copy in the station's folder.
inline constexpr std::string_view kWriterImage = "_tmp.hex";
inline constexpr std::string_view kHsyncImage = "_tmpRL78.hex";

class FirmwareSteps {
public:
    FirmwareSteps(Station& station, ChildLauncher& launcher) : s_(station), launcher_(launcher) {}

    // False only when HEX_FILE cannot be summed ("Failed to calculate checksum."); the check
    // then has no verdict. Otherwise the outcome is in firmwareFlags.
    bool writeFirmware();
    // Always true; the outcome is in firmwareFlags (3 when the programmer failed).
    bool writeHsyncFirmware();

private:
    // What became of one writer run: the exit code kept, or the failure said.
    struct WriterRun {
        bool ok = false;
        std::int32_t exitCode = 0;
    };
    WriterRun runWriter(const std::vector<std::string>& argv, std::string_view openFailure,
                        std::string_view exitFailure);
    // Both collections closed: the device is the writer's while it runs (its lock goes with the
    // last collection).
    void handOver();
    // After a writer failed: the device opened once more if it is there, so the sequence can
    // read it and report the writer's failure rather than a lost device.
    void reopenAfterFailure();

    Station& s_;
    ChildLauncher& launcher_;
};

}  // namespace station
