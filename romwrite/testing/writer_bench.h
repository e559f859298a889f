#pragma once
// The writer application on a bench: scripted bootloader, fake front end, inline worker.
#include <memory>
#include <span>

#include "romwrite/testing/bench.h"
#include "romwrite/testing/fake_writer_port.h"
#include "romwrite/testing/hex_file.h"
#include "romwrite/testing/images.h"
#include "romwrite/writer/writer_app.h"

namespace romwrite::testing {

struct WriterBench {
    explicit WriterBench(bool headless = false, std::span<const std::uint8_t> resource = {}, bool threaded = false)
        : bench("writer"),
          app(WriterServices{port, bench.link, device, bench.log,
                             threaded ? static_cast<JobRunner&>(threadRunner) : static_cast<JobRunner&>(runner),
                             stayAwake, power, restarter, &confirmation, resource, bench.dir, headless}) {}

    bool start(std::vector<std::string> tokens, bool locked = true) {
        return app.start(CommandLine{std::move(tokens)}, locked);
    }
    // Ticks every 20 ms of the bus clock until the program ends; the exit code, or 9999 when it
    // did not end within maxTicks.
    int run(int maxTicks = 5000) {
        for (int i = 0; i < maxTicks && !app.finished(); ++i) {
            app.tick();
            // A worker thread runs on the same virtual clock: let it finish its job before the
            // ticks move time on, as the 20 ms timer would in real time.
            while (threadRunner.exists() && !threadRunner.ended()) std::this_thread::yield();
            bench.clock.sleepMs(kTickMs);
        }
        return app.finished() ? app.exitCode() : 9999;
    }
    void ticks(int n) {
        for (int i = 0; i < n && !app.finished(); ++i) {
            app.tick();
            bench.clock.sleepMs(kTickMs);
        }
    }

    Bench bench;
    FakeWriterPort port;
    FakePower power;
    FakeStayAwake stayAwake;
    FakeRestarter restarter;
    FakeConfirmation confirmation;
    InlineJobRunner runner;
    ThreadJobRunner threadRunner;
    UblDevice device;
    WriterApp app;
};

inline BootloaderSpec f09Spec(std::uint16_t usage = 0x11, std::uint8_t ublVersion = 0x54) {
    BootloaderSpec s;
    s.f11 = false;
    s.usagePage = 0xFF09;
    s.usage = usage;
    s.mainPid = 0x4002;
    s.ublVersion = ublVersion;
    return s;
}

}  // namespace romwrite::testing
