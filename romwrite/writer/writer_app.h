#pragma once
// The writer application without its window: start-up, the command line, the 20 ms tick state
// machine that starts jobs on the worker and reacts to their end, the presence poll, the
// buttons' commands and the exit code. A front end (window, console, test) implements
// WriterPort, calls tick() every 20 ms until finished(), and forwards the operator's commands.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/power.h"
#include "romwrite/link/bootloader_link.h"
#include "romwrite/link/ubl_device.h"
#include "romwrite/log/writer_log.h"
#include "romwrite/protocol/job.h"
#include "romwrite/writer/command_line.h"
#include "romwrite/writer/job_runner.h"
#include "romwrite/writer/write_job.h"
#include "romwrite/writer/writer_port.h"

namespace romwrite {

inline constexpr int kTickMs = 20;
inline constexpr int kPresencePollTicks = 25;  // 500 ms
inline constexpr int kReconnectTicks = 250;    // 5 s

struct WriterServices {
    WriterPort& port;
    BootloaderLink& link;
    UblDevice& device;
    WriterLog& log;
    JobRunner& runner;
    platform::StayAwake& stayAwake;
    platform::PowerStatus& power;
    platform::Restarter& restarter;
    EmbeddedConfirmation* confirmation = nullptr;  // embedded mode's dialog; nullptr declines
    std::span<const std::uint8_t> resource;        // the linked "BIN_DAT" resource
    std::string workingDirectory;
    // No window can ever show (console front end): a run that comes to rest ends, with the code
    // of what failed, and a job does not wait more than 5 s for a device.
    bool headless = false;
};

std::pair<const char*, const char*> phaseTexts(std::uint32_t phase);
DeviceFields deviceFields(const UblDevice& device);
// Whether start-up with this command line (and linked resource) keeps the window hidden, read
// as start-up reads it, so that a front end can be chosen before the run.
bool silentRun(const CommandLine& line, std::span<const std::uint8_t> resource);

class WriterApp {
public:
    explicit WriterApp(WriterServices services);

    // Start-up and window set-up. `instanceLocked`: this process holds "R6X_ROMWRITE". False
    // when the program has already ended (exitCode() says how).
    bool start(const CommandLine& line, bool instanceLocked);
    void tick();
    bool finished() const { return finished_; }
    int exitCode() const { return exitCode_; }
    const WriteJob& job() const { return job_; }
    bool windowShown() const { return windowShown_; }

    // Operator commands (ignored while a job runs).
    void selectFile(const std::optional<std::string>& path);
    void write(bool ignoreMatching, bool setSecurity);
    void encWrite();
    void getDeviceInfo();
    void deviceReset();
    void exitButton();
    void closeWindow();

private:
    void setUp(const CommandLine& line);
    bool loadEmbedded(WriteJob& job);
    void loadFromCommandLine(const SwitchResult& r);
    void enableButtons(bool on);
    void showDeviceInfo();
    void clearDeviceInfo();
    void showPhase(std::uint32_t phase);
    void setStatus(const std::string& text);
    void startJob();
    void jobEnded();
    void countReconnect();
    void presencePoll();
    void end(int code);
    void restIfHeadless();
    std::string resolve(const std::string& name) const;

    WriterServices s_;
    WriteJob job_;
    JobRequest request_;
    JobEnvironment env_;
    bool finished_ = false;
    int exitCode_ = 0;
    bool windowShown_ = false;
    int pollTicks_ = 0;
    int reconnectTicks_ = 0;
    int noDeviceTicks_ = 0;
    std::int32_t restCode_ = 0;  // what a headless run that comes to rest ends with
    bool declined_ = false;      // "Apply this update?" was answered No; the reset job follows
};

}  // namespace romwrite
