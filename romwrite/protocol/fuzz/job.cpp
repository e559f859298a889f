// A whole bootloader job against a device whose every answer comes from the fuzzer's bytes:
// refusals, busy answers, broken echoes, any status, unplugs. The job must end (the virtual
// clock makes its waits free, its loops are bounded), never leave a key open, and never report
// success for a write unless every block was acknowledged, in order, by a matching answer.
#include "romwrite/protocol/job.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "controllerlink/vendor_ids.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "romwrite/link/bootloader_link.h"
#include "romwrite/log/writer_log.h"
#include "sim/descriptor_builder.h"
#include "sim/virtual_bus.h"

namespace {

using namespace romwrite;

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0xFF; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class FuzzBootloader final : public sim::VirtualDevice {
public:
    FuzzBootloader(Bytes& in, bool f11, std::uint16_t usage, bool inBootloader)
        : in_(in), f11_(f11), usage_(usage), boot_(inBootloader) {}

    sim::UsbIdentity usbIdentity() const override {
        const std::uint16_t boot = f11_ ? 0x0094 : 0x0112;
        return {static_cast<std::uint16_t>(controllerlink::VID_PRIMARY), boot_ ? boot : std::uint16_t{0x4001}, 0x0100};
    }
    std::size_t interfaceCount() const override { return 1; }
    std::vector<std::uint8_t> reportDescriptor(std::size_t) const override {
        using R = sim::ReportSpec;
        std::vector<R> reports;
        if (usage_ == 0x0B) {
            reports = {{R::Feature, 0xBB, 1024}};
        } else {
            const bool shortFrames = !f11_ && usage_ == 0x01;
            reports = {{R::Feature, 2, 2},
                       {R::Feature, 4, 16},
                       {R::Feature, 7,
                        static_cast<std::uint16_t>(f11_          ? 257
                                                   : shortFrames ? 74
                                                                 : 520)},
                       {R::Feature, 8, static_cast<std::uint16_t>(shortFrames ? 4 : 136)}};
        }
        return sim::buildVendorDescriptor({{static_cast<std::uint16_t>(f11_ ? 0xFF11 : 0xFF09), usage_, reports}});
    }

    long getFeature(std::size_t, std::span<std::uint8_t> report) override {
        if (in_.empty()) return -1;
        const std::uint8_t how = in_.next();
        if ((how & 0x0F) == 0x0F) return -1;
        std::size_t base = 0;
        if (usage_ == 0x0B) {
            if (report.size() < 4) return -1;
            base = 3;
        }
        const std::span<std::uint8_t> r = report.subspan(base);
        if (r.size() < 4) {
            if (r.size() >= 2) r[1] = in_.next();
            return static_cast<long>(report.size());
        }
        for (std::size_t i = 1; i < r.size(); ++i) r[i] = 0;
        // Mostly a well-formed answer to the last command, with a status from the input.
        r[1] = (how & 0x10) ? in_.next() : lastCode_;
        r[2] = (how & 0x20) ? in_.next() : lastSeq_;
        r[3] = in_.next();
        if (r[0] == 8 && r[1] == lastCode_ && r[2] == lastSeq_ && r[3] == 0 && isBlock(lastCode_))
            acked_[lastAddress_] = true;
        if (how == 0x4E && host() != nullptr) host()->reenumerate(*this, 50);  // an unplug and return
        return static_cast<long>(report.size());
    }

    bool setFeature(std::size_t, std::span<const std::uint8_t> report) override {
        if (in_.next() == 0xFF) return false;
        std::span<const std::uint8_t> f = report;
        if (usage_ == 0x0B) {
            if (report.size() < 4) return false;
            f = report.subspan(3);
        }
        if (f.size() >= 2 && f[0] == 2 && f[1] == 2) {
            if (!boot_ && f11_ && host() != nullptr) host()->reenumerate(*this, 300);
            boot_ = true;
            return true;
        }
        if (f.size() < 8 || f[0] != 7) return false;
        lastCode_ = f[1];
        lastSeq_ = f[2];
        lastAddress_ = static_cast<std::uint32_t>(f[3] | f[4] << 8 | f[5] << 16 | f[6] << 24);
        if (isBlock(lastCode_)) acked_[lastAddress_] = false;
        if (lastCode_ == 0x90) acked_.clear();
        return true;
    }

    // Every block of [start, start + size) acknowledged after its last send.
    bool allAcked(std::uint32_t start, std::uint32_t size, std::uint32_t block) const {
        for (std::uint32_t a = start; a < start + size; a += block) {
            auto it = acked_.find(a);
            if (it == acked_.end() || !it->second) return false;
        }
        return true;
    }

private:
    static bool isBlock(std::uint8_t code) { return code == 0x01 || code == 0x80 || code == 0x84; }
    Bytes& in_;
    bool f11_;
    std::uint16_t usage_;
    bool boot_;
    std::uint8_t lastCode_ = 0, lastSeq_ = 0;
    std::uint32_t lastAddress_ = 0;
    std::map<std::uint32_t, bool> acked_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    Bytes in(data + 3, size - 3);
    const bool f11 = data[0] & 1;
    const std::uint16_t usages[] = {0x11, 0x01, 0x0B};
    const std::uint16_t usage = usages[(data[0] >> 1) % 3];
    const bool inBootloader = data[0] & 0x08;
    const std::uint32_t kinds[] = {JOB_WRITE,    JOB_FORCE_WRITE, JOB_ENC_WRITE, JOB_DEVICE_INFO,
                                   JOB_CHECKSUM, JOB_CONFIRM,     JOB_RESET};
    const std::uint32_t kind = kinds[data[1] % 7];

    platform::VirtualClock clock;
    platform::VirtualClock logClock;
    sim::VirtualBus bus(clock);
    auto device = std::make_shared<FuzzBootloader>(in, f11, usage, inBootloader);
    bus.addDevice(device);
    sim::InProcessBackend backend(bus);
    hidlink::DeviceTable table(backend);
    WriterLog log(logClock);
    BootloaderLink link(table, log, clock);

    FirmwareImage image;
    image.start = kImageStart;
    image.size = 0x200u * (1u + data[2] % 4);
    for (std::uint32_t k = 0; k < image.size; ++k) image.bytes[k] = static_cast<std::uint8_t>(k);
    image.checksum = imageChecksum(image.bytes.data(), image.size);
    image.lockedPid = 0x4001;
    image.fileVersion = 0x0100;
    image.encCapable = true;
    image.valid = true;

    UblDevice d;
    const bool present = link.probeDevice(d);
    JobRequest req{kind, &image, present, (data[2] & 0x80) != 0, (data[2] & 0x40) != 0};
    JobEnvironment env{link};
    runJob(req, d, env);

    if (table.size() != 0) std::abort();  // a key left open
    if (isWriteKind(kind) && d.kind != DeviceKind::None && d.result == kResultOk) {
        const std::uint32_t block = f11 ? 128 : usage == 0x01 ? 64 : 512;
        if (!device->allAcked(image.start, image.size, block)) std::abort();
    }
    return 0;
}
