#pragma once
// The writer's one job record: what the window or the command line asked for, and the state of
// the window's 20 ms state machine (its kind).
#include <cstdint>
#include <string>

#include "romwrite/image/firmware_image.h"
#include "romwrite/protocol/job.h"

namespace romwrite {

// Window states besides the job kinds.
inline constexpr std::uint32_t JOB_IDLE = 0;
inline constexpr std::uint32_t JOB_WAIT_RECONNECT = 0x13;
inline constexpr std::uint32_t JOB_ASKING = 0x14;
inline constexpr std::uint32_t JOB_FILE_SELECT = 0x15;
inline constexpr std::uint32_t JOB_VERSION_CHECK = 0x21;
inline constexpr std::uint32_t JOB_LOAD_ERROR = 0x22;
inline constexpr std::uint32_t JOB_DONE = 0x23;

// Results only the window sets. A request the writer cannot carry out ends with a code of its
// own, never with 0.
inline constexpr std::int32_t kResultLoad = 5;           // the file or the command line unreadable
inline constexpr std::int32_t kResultTwoJobs = 6;        // the switches ask for different jobs
inline constexpr std::int32_t kResultUnknownSwitch = 7;  // a switch the writer does not know
inline constexpr std::int32_t kResultNoJob = 8;          // no window and no job switch: nothing to do
inline constexpr std::int32_t kResultUnsupported = 9;    // the device's bootloader cannot do the job
inline constexpr std::int32_t kResultNotApplied = 10;    // written, but "Apply this update?" answered No
inline constexpr std::int32_t kResultVersionDiffers = 49;

constexpr bool isJobKind(std::uint32_t kind) {
    return isWriteKind(kind) || kind == JOB_DEVICE_INFO || kind == JOB_CHECKSUM || kind == JOB_CONFIRM ||
           kind == JOB_RESET;
}

struct WriteJob {
    std::uint32_t kind = JOB_IDLE;
    // The image; its checksum also receives the expected checksum of /C, its fileVersion the
    // expected version of /V.
    FirmwareImage image;
    bool devicePresent = false;
    bool silent = false;
    bool setSecurity = false;
    bool autoExit = false;
    bool logOn = false;
    bool autoApply = false;
    bool completionBox = false;
    bool pidLock = false;
    bool exitOnError = false;
    bool embeddedMode = false;
    bool forceRestart = false;
    std::uint32_t lastPhase = 0;
    std::string path;  // the loaded file
};

}  // namespace romwrite
