#pragma once
// A fake sysfs tree and /dev folder in a temporary directory, laid out as the kernel does it:
// class/hidraw/hidrawN links into devices/..., hidrawN/device links back up to the hid device,
// and the USB device with its bcdDevice sits two levels above that (interface in between).
// Shared by the hidraw tests and the enumeration benchmark.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace hidlink::fixture {

struct FakeNode {
    unsigned number = 0;         // hidrawN
    std::uint16_t bus = 0x0003;  // 0x0003 USB, 0x0005 Bluetooth
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::optional<std::uint16_t> bcdDevice = 0x0100;  // of the USB device (the dongle for Bluetooth)
    std::vector<std::uint8_t> descriptor;
    bool fifo = false;     // the /dev node is a FIFO a test writes input reports into
    unsigned usbPort = 0;  // the USB device's port (1-N); 0: a device of its own, port number + 1
    unsigned iface = 0;    // its interface on that USB device
};

class SysfsFixture {
public:
    SysfsFixture() {
        char pattern[] = "/tmp/vorlick-sysfs-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) std::abort();
        base_ = std::filesystem::canonical(pattern);
        std::filesystem::create_directories(base_ / "sys" / "class" / "hidraw");
        std::filesystem::create_directories(base_ / "sys" / "devices");
        std::filesystem::create_directories(base_ / "dev");
        std::filesystem::create_directories(base_ / "run");
    }
    ~SysfsFixture() {
        std::error_code ec;
        std::filesystem::remove_all(base_, ec);
    }
    SysfsFixture(const SysfsFixture&) = delete;
    SysfsFixture& operator=(const SysfsFixture&) = delete;

    std::string sysfsRoot() const { return (base_ / "sys").string(); }
    std::string devRoot() const { return (base_ / "dev").string(); }
    // Where a backend on this tree keeps its device lock files.
    std::string lockDir() const { return (base_ / "run").string(); }
    std::string devPath(unsigned number) const { return devRoot() + "/hidraw" + std::to_string(number); }

    // Adds the node and returns its hid device folder (uevent, report_descriptor).
    std::filesystem::path add(const FakeNode& n) {
        namespace fs = std::filesystem;
        const std::string port = "1-" + std::to_string(n.usbPort != 0 ? n.usbPort : n.number + 1);
        const fs::path usb = base_ / "sys/devices/pci0000:00/0000:00:14.0/usb1" / port;
        fs::create_directories(usb);
        if (n.bcdDevice) write(usb / "bcdDevice", hex(*n.bcdDevice, 4) + "\n");
        fs::path parent = usb / (port + ":1." + std::to_string(n.iface));
        if (n.bus == 0x0005) parent = parent / "bluetooth/hci0/hci0:256";
        char hidName[32];
        std::snprintf(hidName, sizeof hidName, "%04X:%04X:%04X.%04X", n.bus, n.vendorId, n.productId, n.number + 1);
        const fs::path hid = parent / hidName;
        fs::create_directories(hid / "hidraw");
        write(hid / "uevent", "DRIVER=hid-generic\nHID_ID=" + hex(n.bus, 4) + ":" + hex(n.vendorId, 8) + ":" +
                                  hex(n.productId, 8) + "\nHID_NAME=Fixture " + std::to_string(n.number) +
                                  "\nMODALIAS=hid:fixture\n");
        std::ofstream(hid / "report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char*>(n.descriptor.data()),
                   static_cast<std::streamsize>(n.descriptor.size()));
        const std::string name = "hidraw" + std::to_string(n.number);
        const fs::path node = hid / "hidraw" / name;
        fs::create_directories(node);
        write(node / "dev", "243:" + std::to_string(n.number) + "\n");
        fs::create_directory_symlink("../../", node / "device");
        fs::create_directory_symlink(fs::relative(node, base_ / "sys/class/hidraw"), base_ / "sys/class/hidraw" / name);
        if (n.fifo) {
            ::mkfifo(devPath(n.number).c_str(), 0600);
        } else {
            write(devPath(n.number), "");
        }
        return hid;
    }

    static void write(const std::filesystem::path& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }

private:
    static std::string hex(unsigned v, int width) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%0*X", width, v);
        return buf;
    }

    std::filesystem::path base_;
};

}  // namespace hidlink::fixture
