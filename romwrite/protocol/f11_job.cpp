#include "platform/power.h"
#include "romwrite/protocol/job.h"
#include "romwrite/protocol/ubl_session.h"

namespace romwrite {
namespace {

constexpr int kAttempts = 4;

enum class Step : std::uint8_t { Done, Retry, End };

class F11Job {
public:
    F11Job(const JobRequest& request, UblDevice& device, JobEnvironment& env)
        : req_(request), dev_(device), link_(env.link), clock_(env.link.clock()), s_(env.link, device) {}

    void run() {
        s_.log("Process start.");
        dev_.phase = kPhaseConnecting;
        dev_.leftInBootloader = false;
        if (!s_.canStart(req_.devicePresent, isWriteKind(req_.kind), req_.image)) return;
        bool done = false;
        for (int attempt = 1; attempt <= kAttempts && !done; ++attempt) {
            dev_.errorText.clear();
            dev_.result = kResultOk;
            const Step step = attemptOnce();
            if (step == Step::End) return;
            done = step == Step::Done;
        }
        // The last attempt failed without the exit command: a controller found in its bootloader
        // stays there rather than restart on a flash the failed write may have left half done.
        if (!done) dev_.leftInBootloader = dev_.productId == kF11BootloaderPid;
        s_.finish();
    }

private:
    // Close, pause, and let the next attempt start over.
    Step giveUpAttempt() {
        s_.closeIfOpen();
        clock_.sleepMs(1000);
        return Step::Retry;
    }

    Step attemptOnce() {
        hidlink::DeviceInfo info;
        if (!link_.openUblDevice(dev_, info)) return Step::End;

        if (!readDeviceType()) return giveUpAttempt();
        if (dev_.productId != kF11BootloaderPid) {
            if (req_.pidLock && req_.image != nullptr && dev_.productId != req_.image->lockedPid) {
                dev_.setError("Locked PID does not match.");
                s_.log("Locked PID does not match.");
                dev_.result = kResultLockedPid;
                s_.closeIfOpen();
                return Step::End;
            }
            if (!enterBootloader()) return giveUpAttempt();
        }
        if (!s_.readBootloaderData()) return giveUpAttempt();

        if (isWriteKind(req_.kind)) {
            dev_.phase = kPhaseProgramming;
            if (!write()) return giveUpAttempt();
        } else if (req_.kind == JOB_CHECKSUM || req_.kind == JOB_CONFIRM) {
            // This generation has no checksum or confirm command; an old bootloader is refused.
            if (dev_.ublVersion <= 0x53) {
                dev_.result = kResultFailed;
                dev_.setError("UBL version is old.");
            }
        }
        s_.leaveBootloader();
        return Step::Done;
    }

    bool readDeviceType() {
        s_.log("Get device type.");
        const int tries = s_.policy().tries;
        for (int t = 1; t <= tries; ++t) {
            if (dev_.productId == kF11BootloaderPid) {
                s_.log("Get device type from bootloader");
                std::vector<std::uint8_t> r(shapeOf(FrameKind::F11).response, 0);
                r[0] = kResponseReport;
                if (link_.getFeatureF11(r, dev_.mode)) return true;
            } else {
                s_.log("Get device type from main device");
                // The main firmware may not serve report 2; its answer is only shown.
                std::uint8_t r[2] = {2, 0};
                link_.getFeatureF11(r, dev_.mode);
                s_.log(formatText("DEVICE TYPE:%d", r[1]));
                return true;
            }
            s_.logError("GET ERROR");
            if (t < tries) clock_.sleepMs(10);
        }
        dev_.result = kResultNoAnswer;
        dev_.setError(formatText("Device error (%d).", link_.lastSystemError()));
        s_.log(dev_.errorText);
        s_.log("Get device type error.");
        return false;
    }

    // The controller leaves the bus and comes back as its bootloader on a collection of its own.
    bool enterBootloader() {
        s_.log("Enter UBL.");
        const std::uint8_t enter[2] = {2, 2};
        if (!link_.setFeatureF11(enter, dev_.mode)) s_.logError("Enter UBL - SET ERROR");
        clock_.sleepMs(500);
        s_.closeIfOpen();
        const int tries = s_.policy().tries;
        for (int t = 1; t <= tries; ++t) {
            clock_.sleepMs(200);
            hidlink::DeviceInfo info;
            if (link_.openUblDevice(dev_, info)) {
                if (s_.inBootloaderMode()) return true;
                s_.closeIfOpen();
            }
            dev_.result = kResultOk;
            clock_.sleepMs(200);
        }
        dev_.result = kResultNoAnswer;
        dev_.setError("EnterUBL error(2).");
        s_.log("EnterUBL error(2).");
        return false;
    }

    bool write() {
        const FirmwareImage& image = *req_.image;
        s_.log("Erasing R6X flash.");
        if (!s_.erase()) return false;
        s_.log(formatText("WRITE address:0x%X size:0x%X checksum:0x%X", image.start, image.size, image.checksum));
        return s_.sendBlocks(CMD_WRITE, image);
    }

    const JobRequest& req_;
    UblDevice& dev_;
    BootloaderLink& link_;
    platform::Clock& clock_;
    UblSession s_;
};

}  // namespace

void runF11Job(const JobRequest& request, UblDevice& device, JobEnvironment& env) {
    if (env.stayAwake != nullptr) env.stayAwake->request();
    F11Job(request, device, env).run();
}

void runJob(const JobRequest& request, UblDevice& device, JobEnvironment& env) {
    if (device.kind == DeviceKind::F11)
        runF11Job(request, device, env);
    else if (device.kind == DeviceKind::F09)
        runF09Job(request, device, env);
}

}  // namespace romwrite
