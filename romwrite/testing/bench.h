#pragma once
// A writer's world for tests: a virtual clock, an in-process bus, the device table, a log in a
// fresh directory (its time stamps from a clock of their own, frozen unless a test moves it)
// and the bootloader link over them.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "romwrite/link/bootloader_link.h"
#include "romwrite/log/writer_log.h"
#include "romwrite/testing/scripted_bootloader.h"
#include "sim/virtual_bus.h"

namespace romwrite::testing {

inline std::string freshDirectory(const std::string& tag) {
    static int counter = 0;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("romwrite_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Lines joined with CR LF, each stamped as the frozen log clock shows it.
inline std::string stamped(std::initializer_list<std::string> lines, const std::string& stamp = "00:00.000 ") {
    std::string out;
    for (const std::string& l : lines) out += (l.starts_with("@") ? l.substr(1) : stamp + l) + "\r\n";
    return out;
}

struct Bench {
    explicit Bench(const std::string& tag = "bench") : dir(freshDirectory(tag)) { log.open(dir); }
    ~Bench() { std::filesystem::remove_all(dir); }

    std::shared_ptr<ScriptedBootloader> add(const BootloaderSpec& spec) {
        auto d = std::make_shared<ScriptedBootloader>(spec);
        lastId = bus.addDevice(d);
        return d;
    }
    // Log content after the header line.
    std::string logBody() {
        std::string all = readFile(dir + "/Log.txt");
        const std::string header = "\r\n01/01 09:00:00.000\r\n";
        for (std::size_t at; (at = all.find(header)) != std::string::npos;) all.erase(at, header.size());
        return all;
    }

    std::string dir;
    platform::VirtualClock clock;
    platform::VirtualClock logClock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    WriterLog log{logClock};
    BootloaderLink link{table, log, clock};
    int lastId = -1;
};

}  // namespace romwrite::testing
