// vorlick-sim: serves simulated controllers to the station, romwrite and vorlick-diag over a
// Unix socket (VORLICK_HID=sim:<socket>), and `vorlick-sim ctl` steers a running one.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/bus_pacer.h"
#include "sim/operator_script.h"
#include "sim/scenario.h"
#include "sim/scenario_models.h"
#include "sim/sim_control.h"
#include "sim/sim_server.h"
#include "sim/virtual_bus.h"

namespace {

int usage(std::FILE* to = stderr) {
    std::fputs(
        "usage: vorlick-sim --socket PATH [--scenario FILE]\n"
        "       vorlick-sim ctl --socket PATH list\n"
        "       vorlick-sim ctl --socket PATH unplug|replug DEVICE\n"
        "       vorlick-sim ctl --socket PATH faults DEVICE [latency=MS] [refuse-nth=N] [refuse-all=0|1]\n"
        "       vorlick-sim ctl --socket PATH input DEVICE INTERFACE HEX-BYTES\n"
        "       vorlick-sim ctl --socket PATH flash DEVICE [--size N] [--checksum | --out FILE]\n"
        "       vorlick-sim ctl --socket PATH operator DEVICE ACTION...\n"
        "Without --scenario one healthy R6 controller is served. The socket path is printed once the\n"
        "simulator listens; SIGINT or SIGTERM stops it and removes the socket. `flash` shows the\n"
        "first N bytes of a controller's program flash (default: the image last written) as hex\n"
        "lines, their 16-bit sum as 0xXXXX (--checksum), or writes them raw to FILE (--out).\n"
        "`operator` lets the controller's operator act now, e.g. `operator 0 finger 0.5,0.5 for 2s`\n"
        "or `operator 0 switch` (the syntax: examples/sim/operator.md).\n"
        "Exit status: 0 done; 1 the scenario or the socket failed, or ctl was refused or found no\n"
        "simulator; 2 bad arguments.\n",
        to);
    return 2;
}

bool number(const std::string& text, std::uint64_t max, std::uint64_t& out) {
    return sim::parseScenarioNumber(text, max, out);
}

int serve(const std::string& socketPath, const std::string& scenario) {
    // Read the scenario while SIGINT and SIGTERM still end the program. The reader refuses a FIFO
    // or a device at once, and a slow disk must not make the program deaf to them either.
    std::string error, scenarioText;
    if (!scenario.empty() && !sim::readScenarioFile(scenario, scenarioText, error)) {
        std::fprintf(stderr, "vorlick-sim: %s\n", error.c_str());
        return 1;
    }
    // Block the stop signals in every thread; the main thread takes them with sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    platform::Clock& clock = platform::systemClock();
    sim::VirtualBus bus(clock);
    if (scenario.empty()) {
        bus.addDevice(sim::makeDefaultController(clock));
    } else if (!sim::loadScenario(scenarioText, scenario, bus, clock, error)) {
        std::fprintf(stderr, "vorlick-sim: %s\n", error.c_str());
        return 1;
    }
    sim::SimServer server(bus);
    if (!server.start(socketPath, error)) {
        std::fprintf(stderr, "vorlick-sim: %s\n", error.c_str());
        return 1;
    }
    // The devices stream and their operators act on real time.
    sim::BusPacer pacer(bus);
    std::printf("%s\n", socketPath.c_str());
    std::fflush(stdout);
    int sig = 0;
    while (sigwait(&stopSignals, &sig) != 0) {
    }
    pacer.stop();
    server.stop();
    bus.shutdown();
    return 0;
}

// `flash DEVICE [--size N] [--checksum | --out FILE]`
int printFlash(sim::SimControl& ctl, std::uint32_t id, const std::vector<std::string>& args) {
    std::optional<std::uint64_t> size;
    bool checksum = false;
    std::string out;
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::uint64_t n = 0;
        if (args[i] == "--checksum")
            checksum = true;
        else if (args[i] == "--size" && i + 1 < args.size() && number(args[i + 1], hidlink::simwire::kMaxFlashBytes, n))
            size = n, ++i;
        else if (args[i] == "--out" && i + 1 < args.size())
            out = args[++i];
        else
            return usage();
    }
    if (checksum && !out.empty()) return usage();
    hidlink::simwire::FlashReply flash;
    if (!ctl.readFlash(id, flash)) {
        std::fprintf(stderr, "vorlick-sim ctl: %s\n", ctl.error().c_str());
        return 1;
    }
    const std::size_t n = static_cast<std::size_t>(size.value_or(flash.extent));
    if (n > flash.bytes.size()) {
        std::fprintf(stderr, "vorlick-sim ctl: the flash holds %zu bytes\n", flash.bytes.size());
        return 1;
    }
    if (checksum) {
        unsigned sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += flash.bytes[i];
        std::printf("0x%04X\n", sum & 0xFFFFu);
    } else if (!out.empty()) {
        std::FILE* f = std::fopen(out.c_str(), "wb");
        bool written = f != nullptr && std::fwrite(flash.bytes.data(), 1, n, f) == n;
        if (f != nullptr && std::fclose(f) != 0) written = false;
        if (!written) {
            std::fprintf(stderr, "vorlick-sim ctl: cannot write %s\n", out.c_str());
            return 1;
        }
    } else {
        for (std::size_t i = 0; i < n; i += 16) {
            std::printf("%05X:", static_cast<unsigned>(flash.base + i));
            for (std::size_t k = i; k < n && k < i + 16; ++k) std::printf(" %02X", flash.bytes[k]);
            std::printf("\n");
        }
    }
    return 0;
}

int control(const std::string& socketPath, const std::vector<std::string>& args) {
    if (args.empty()) return usage();
    const std::string& verb = args[0];
    std::uint64_t device = 0;
    const bool hasDevice = args.size() >= 2 && number(args[1], UINT32_MAX, device);
    sim::SimControl ctl(socketPath);
    const auto id = static_cast<std::uint32_t>(device);
    bool ok = false;
    if (verb == "list" && args.size() == 1) {
        std::vector<hidlink::simwire::DeviceState> devices;
        ok = ctl.list(devices);
        for (const auto& d : devices)
            std::printf("%u\t0x%04X\t0x%04X\t0x%04X\tinterfaces=%u\t%s\tlatency=%u refuse-nth=%llu refuse-all=%d\n",
                        d.deviceId, d.vendorId, d.productId, d.version, d.interfaces,
                        d.present ? "plugged" : "unplugged", d.latencyMs, static_cast<unsigned long long>(d.refuseNth),
                        d.refuseAll ? 1 : 0);
    } else if ((verb == "unplug" || verb == "replug") && args.size() == 2 && hasDevice) {
        ok = verb == "unplug" ? ctl.unplug(id) : ctl.replug(id);
    } else if (verb == "faults" && args.size() >= 2 && hasDevice) {
        std::optional<std::uint32_t> latency;
        std::optional<std::uint64_t> nth;
        std::optional<bool> all;
        for (std::size_t i = 2; i < args.size(); ++i) {
            const auto eq = args[i].find('=');
            const std::string key = args[i].substr(0, eq);
            const std::string value = eq == std::string::npos ? "" : args[i].substr(eq + 1);
            std::uint64_t n = 0;
            if (key == "latency" && number(value, hidlink::simwire::kMaxLatencyMs, n))
                latency = static_cast<std::uint32_t>(n);
            else if (key == "refuse-nth" && number(value, UINT64_MAX, n))
                nth = n;
            else if (key == "refuse-all" && (value == "0" || value == "1"))
                all = value == "1";
            else
                return usage();
        }
        // Faults not named keep their current value.
        std::vector<hidlink::simwire::DeviceState> devices;
        ok = ctl.list(devices);
        if (ok) {
            hidlink::simwire::DeviceState cur;
            for (const auto& d : devices)
                if (d.deviceId == id) cur = d;
            ok = ctl.setFaults(id, latency.value_or(cur.latencyMs), nth.value_or(cur.refuseNth),
                               all.value_or(cur.refuseAll));
        }
    } else if (verb == "operator" && args.size() >= 3 && hasDevice) {
        std::string actions;
        for (std::size_t i = 2; i < args.size(); ++i) actions += (i > 2 ? " " : "") + args[i];
        sim::ActionList parsed;
        std::string why;
        if (!sim::parseActions(actions, parsed, why)) {
            std::fprintf(stderr, "vorlick-sim ctl: operator: %s\n", why.c_str());
            return usage();
        }
        ok = ctl.operate(id, actions);
    } else if (verb == "flash" && hasDevice) {
        return printFlash(ctl, id, args);
    } else if (verb == "input" && args.size() >= 4 && hasDevice) {
        std::uint64_t iface = 0;
        std::string hex;
        for (std::size_t i = 3; i < args.size(); ++i) hex += args[i] + " ";
        std::vector<std::uint8_t> report;
        if (!number(args[2], 255, iface) || !sim::parseHexBytes(hex, report)) return usage();
        ok = ctl.pushInput(id, static_cast<std::uint32_t>(iface), std::move(report));
    } else {
        return usage();
    }
    if (!ok) {
        std::fprintf(stderr, "vorlick-sim ctl: %s\n", ctl.error().c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool ctl = !args.empty() && args[0] == "ctl";
    if (ctl) args.erase(args.begin());
    std::string socketPath, scenario;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--socket" && i + 1 < args.size()) {
            socketPath = args[++i];
        } else if (!ctl && args[i] == "--scenario" && i + 1 < args.size()) {
            scenario = args[++i];
        } else if (args[i] == "-h" || args[i] == "--help") {
            usage(stdout);
            return 0;
        } else if (args[i] == "--version") {
            std::printf("vorlick-sim %s\n", VORLICK_VERSION_STRING);
            return 0;
        } else if (ctl) {
            rest.push_back(args[i]);
        } else {
            return usage();
        }
    }
    if (socketPath.empty()) return usage();
    return ctl ? control(socketPath, rest) : serve(socketPath, scenario);
}
