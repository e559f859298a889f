#pragma once
// What a bootloader job is asked to do, and the worker-thread bodies of the two protocols.
#include <cstdint>
#include <functional>

#include "romwrite/image/embedded_image.h"
#include "romwrite/image/firmware_image.h"
#include "romwrite/link/bootloader_link.h"
#include "romwrite/link/ubl_device.h"

namespace platform {
class StayAwake;
}

namespace romwrite {

// Job kinds besides the write kinds (JOB_WRITE, JOB_FORCE_WRITE, JOB_ENC_WRITE).
inline constexpr std::uint32_t JOB_DEVICE_INFO = 0x10;
inline constexpr std::uint32_t JOB_CHECKSUM = 0x11;
inline constexpr std::uint32_t JOB_CONFIRM = 0x12;
inline constexpr std::uint32_t JOB_RESET = 0x20;

constexpr bool isWriteKind(std::uint32_t kind) {
    return kind == JOB_WRITE || kind == JOB_FORCE_WRITE || kind == JOB_ENC_WRITE;
}

struct JobRequest {
    std::uint32_t kind = 0;
    const FirmwareImage* image = nullptr;  // needed by the write kinds, checksum and data matching
    bool devicePresent = false;
    bool setSecurity = false;
    bool pidLock = false;
};

struct JobEnvironment {
    BootloaderLink& link;
    platform::StayAwake* stayAwake = nullptr;  // asked to keep the machine awake while a job runs
};

// Protocol F11: up to four attempts of open, device type, bootloader entry, bootloader data,
// erase and write, then the exit command.
void runF11Job(const JobRequest& request, UblDevice& device, JobEnvironment& env);
// Protocol F09: one attempt; no erase; forced and encrypted writes, checksum comparison and
// confirmation.
void runF09Job(const JobRequest& request, UblDevice& device, JobEnvironment& env);
// The body for device.kind (nothing for kind 0).
void runJob(const JobRequest& request, UblDevice& device, JobEnvironment& env);

}  // namespace romwrite
