#include "romwrite/protocol/job.h"
#include "romwrite/protocol/ubl_session.h"

namespace romwrite {
namespace {

class F09Job {
public:
    F09Job(const JobRequest& request, UblDevice& device, JobEnvironment& env)
        : req_(request), dev_(device), link_(env.link), clock_(env.link.clock()), s_(env.link, device) {}

    void run() {
        s_.log("Process start.");
        dev_.phase = kPhaseConnecting;
        dev_.leftInBootloader = false;
        if (!s_.canStart(req_.devicePresent, isWriteKind(req_.kind), req_.image)) return;

        hidlink::DeviceInfo info;
        if (!link_.openUblDevice(dev_, info)) return;
        if (!readDeviceType()) return s_.closeIfOpen();
        switch (enterBootloader()) {
            case Entry::Entered:
                break;
            case Entry::SetFailed:
                return s_.closeIfOpen();
            case Entry::NotEntered:
                return leave();
        }
        if (!s_.readBootloaderData()) return leave();
        byKind();
        leave();
    }

private:
    enum class Entry : std::uint8_t { Entered, SetFailed, NotEntered };

    bool shortFrames() const { return dev_.mode == TransportMode::DirectShort; }

    bool readDeviceType() {
        s_.log("Get device type.");
        const bool inBootloader = dev_.productId == kF09BootloaderPid;
        std::vector<std::uint8_t> r;
        const int tries = s_.policy().tries;
        for (int t = 1; t <= tries; ++t) {
            if (inBootloader) {
                r.assign(shortFrames() ? 4 : 136, 0);
                r[0] = kResponseReport;
            } else {
                r.assign(2, 0);
                r[0] = 2;
            }
            if (link_.getFeatureF09(r, dev_.mode)) {
                if (!inBootloader) s_.log(formatText("DEVICE TYPE:%d", r[1]));
                return true;
            }
            s_.logError("GET ERROR");
            if (t < tries) clock_.sleepMs(10);
        }
        dev_.result = kResultFailed;
        dev_.setError("Device error.");
        s_.log("Get device type error.");
        return false;
    }

    // The bootloader takes over the collection already open: no reopening.
    Entry enterBootloader() {
        const int tries = s_.policy().tries;
        for (int t = 1; t <= tries; ++t) {
            s_.log("Enter UBL.");
            const std::uint8_t enter[2] = {2, 2};
            if (!link_.setFeatureF09(enter, dev_.mode)) {
                dev_.result = kResultFailed;
                dev_.setError("SET ERROR at EnterUBL.");
                s_.logError("SET ERROR");
                s_.log("EnterUBL error.");
                return Entry::SetFailed;
            }
            clock_.sleepMs(500);
            clock_.sleepMs(200);
            if (s_.inBootloaderMode()) return Entry::Entered;
            dev_.result = kResultOk;
            clock_.sleepMs(200);
        }
        dev_.result = kResultFailed;
        dev_.setError("EnterUBL error(2).");
        s_.log("EnterUBL error(2).");
        return Entry::NotEntered;
    }

    bool versionIsOld() {
        if (dev_.ublVersion > 0x53) return false;
        dev_.result = kResultFailed;
        dev_.setError("UBL version is old.");
        return true;
    }

    static std::array<std::uint8_t, 4> twoWords(std::uint32_t a, std::uint32_t b) {
        return {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(b),
                static_cast<std::uint8_t>(b >> 8)};
    }

    void write(std::uint8_t code, const char* name) {
        const FirmwareImage& image = *req_.image;
        if (code == CMD_ENC_WRITE) {
            std::uint8_t status = 0;
            if (!s_.command(CMD_DATA_MATCH, twoWords(image.lockedPid, image.fileVersion), &status)) return;
            if (status != 0) {
                dev_.result = kResultFailed;
                dev_.setError("Data matching error.");
                return;
            }
        }
        s_.log(formatText("%s address:0x%X size:0x%X checksum:0x%X", name, image.start, image.size, image.checksum));
        s_.sendBlocks(code, image);
    }

    void byKind() {
        switch (req_.kind) {
            case JOB_WRITE:
                dev_.phase = kPhaseProgramming;
                write(CMD_WRITE, "WRITE");
                break;
            case JOB_FORCE_WRITE:
                dev_.phase = kPhaseProgramming;
                write(CMD_FORCE_WRITE, "FORCEWRITE");
                break;
            case JOB_ENC_WRITE:
                dev_.phase = kPhaseProgramming;
                if (!versionIsOld()) write(CMD_ENC_WRITE, "ENCWRITE");
                break;
            case JOB_CHECKSUM: {
                if (versionIsOld()) break;
                const std::uint32_t sum = req_.image != nullptr ? req_.image->checksum : 0;
                std::uint8_t status = 0;
                if (s_.command(CMD_CHECKSUM, twoWords(sum, 0), &status) && status != 0) dev_.result = kResultChecksum;
                break;
            }
            case JOB_CONFIRM:
                if (versionIsOld()) break;
                if (s_.command(CMD_CONFIRM) && req_.setSecurity) {
                    s_.log("Set security.");
                    s_.command(CMD_SECURITY, {0x0F, 0, 0, 0});
                }
                break;
            default:
                break;
        }
    }

    void leave() {
        s_.leaveBootloader();
        s_.finish();
    }

    const JobRequest& req_;
    UblDevice& dev_;
    BootloaderLink& link_;
    platform::Clock& clock_;
    UblSession s_;
};

}  // namespace

void runF09Job(const JobRequest& request, UblDevice& device, JobEnvironment& env) {
    F09Job(request, device, env).run();
}

}  // namespace romwrite
