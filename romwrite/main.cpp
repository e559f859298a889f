// romwrite: writes the controller's firmware through its USB bootloader.
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "platform/exit_status.h"
#include "platform/lock_file.h"
#include "platform/power.h"
#include "romwrite/image/embedded_image.h"
#include "romwrite/link/bootloader_link.h"
#include "romwrite/log/writer_log.h"
#include "romwrite/window/confirmation_dialog.h"
#include "romwrite/window/display/open_display.h"
#include "romwrite/window/tick_driver.h"
#include "romwrite/window/writer_window.h"
#include "romwrite/writer/console_front_end.h"
#include "romwrite/writer/exit_codes.h"
#include "romwrite/writer/job_runner.h"
#include "romwrite/writer/writer_app.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) { g_stop = 1; }

constexpr const char* kUsage =
    "usage: romwrite [FILE.hex] [/F0|/F1|/F2] [/A] [/L] [/S] [/Cxxxx] [/Vxxxx]\n"
    "       romwrite --help | --version\n"
    "\n"
    "Writes a controller's firmware through its USB bootloader.\n"
    "  FILE.hex  Intel HEX image, relative to the working directory unless absolute\n"
    "  /F0       write\n"
    "  /F1       force write (ignore matching)\n"
    "  /F2       encrypted write (the file is named ..._PPPP_VVVV.hex)\n"
    "  /A        apply the update without asking\n"
    "  /L        append to Log.txt in the working directory\n"
    "  /S        silent\n"
    "  /Cxxxx    compare the device's checksum with xxxx (hex): 0 equal, 48 different (F09 only)\n"
    "  /Vxxxx    compare the device's version with xxxx (hex): 0 equal, 49 different, 1 no device\n"
    "Switches start with '/' or '-'; a token holding another '/' is a file name.\n"
    "The device is reached through VORLICK_HID (hidraw, or sim:<socket>).\n"
    "The window shows when DISPLAY or WAYLAND_DISPLAY names a desktop Qt can open and the run\n"
    "is not silent; otherwise the writer runs on the console (texts on stderr, questions on stdin).\n"
    "Exit status: the result code modulo 256 (-1 -> 255, -2 -> 254, -6 -> 250); refused requests:\n"
    "5 unreadable file or command line, 6 two jobs asked, 7 unknown switch, 8 nothing to do,\n"
    "9 job the bootloader cannot do, 10 update written but not applied.\n";

int runConsole(const romwrite::CommandLine& line, romwrite::ConsoleFrontEnd& console, romwrite::BootloaderLink& link,
               romwrite::UblDevice& device, romwrite::WriterLog& log, romwrite::JobRunner& runner,
               platform::StayAwake& stayAwake, platform::PowerStatus& power, platform::Restarter& restarter,
               const std::string& cwd, bool locked) {
    platform::Clock& clock = platform::systemClock();
    romwrite::WriterApp app(romwrite::WriterServices{console, link, device, log, runner, stayAwake, power, restarter,
                                                     &console, romwrite::embeddedResource(), cwd, true});
    if (app.start(line, locked)) {
        bool refusedNoted = false;
        while (!app.finished()) {
            app.tick();
            if (app.finished()) break;
            if (g_stop != 0) {
                app.closeWindow();
                if (!app.finished() && !refusedNoted) {
                    refusedNoted = true;
                    std::cerr << "romwrite: a write is running and cannot be interrupted\n";
                }
            }
            clock.sleepMs(romwrite::kTickMs);
        }
    }
    return app.exitCode();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("romwrite %s\n", VORLICK_VERSION_STRING);
            return 0;
        }
    }

    platform::Clock& clock = platform::systemClock();
    platform::SysfsPowerStatus power;
    romwrite::ConsoleFrontEnd console(std::cin, std::cerr, power);

    std::string error;
    std::unique_ptr<hidlink::Backend> backend = hidlink::makeBackendFromEnvironment(error);
    if (!backend) {
        std::cerr << "romwrite: " << error << '\n' << "exit code: 1\n";
        return 1;
    }

    // Held (another writer runs) is the job's "Program already running!"; a lock file that cannot
    // be made leaves nobody able to tell, so the writer refuses with the reason.
    const platform::LockFile::Attempt lock =
        platform::LockFile::take(platform::runtimeDirectory() + "/R6X_ROMWRITE.lock", platform::programOwner());
    const bool locked = lock.outcome == platform::LockFile::Outcome::Acquired;

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    hidlink::DeviceTable table(*backend);
    romwrite::WriterLog log(clock);
    romwrite::BootloaderLink link(table, log, clock);
    romwrite::UblDevice device;
    romwrite::ThreadJobRunner runner;
    // No inhibitor is held; the engineers' trace switch says so.
    platform::LoggingStayAwake stayAwake([](const std::string& note) {
        if (hidlink::traceEnabled()) std::cerr << "romwrite: " << note << '\n';
    });
    platform::SystemdRestarter restarter;
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();

    const romwrite::CommandLine line{args};
    std::unique_ptr<QApplication> qt;
    if (!romwrite::silentRun(line, romwrite::embeddedResource())) qt = romwrite::openDisplay(argv[0]);
    int code = 0;
    if (lock.outcome == platform::LockFile::Outcome::Failed) {
        const std::string text = "Cannot take the single-instance lock: " + lock.error.text();
        console.messageBox(text, "Error");
        if (qt) {
            romwrite::WriterWindow window(romwrite::WriterWindow::Layout::Writer);
            window.messageBox(text, "Error");
        }
        code = romwrite::kExitLockFailed;
    } else if (qt) {
        const auto layout = romwrite::hasEmbeddedImage(romwrite::embeddedResource())
                                ? romwrite::WriterWindow::Layout::Updating
                                : romwrite::WriterWindow::Layout::Writer;
        romwrite::WriterWindow window(layout);
        romwrite::ConfirmationDialog confirmation(power, stayAwake);
        romwrite::WriterApp app(romwrite::WriterServices{window, link, device, log, runner, stayAwake, power, restarter,
                                                         &confirmation, romwrite::embeddedResource(), cwd, false});
        window.attach(app);
        if (app.start(line, locked)) {
            romwrite::TickDriver driver(app, window, [](int) { QCoreApplication::exit(0); });
            // SIGINT and SIGTERM ask the window to close, as its close button does.
            QTimer signalPoll;
            QObject::connect(&signalPoll, &QTimer::timeout, [&window] {
                if (g_stop != 0) {
                    g_stop = 0;
                    window.close();
                }
            });
            signalPoll.start(100);
            driver.start();
            QApplication::exec();
        }
        code = app.exitCode();
    } else {
        code = runConsole(line, console, link, device, log, runner, stayAwake, power, restarter, cwd, locked);
    }
    runner.release();
    std::cerr << "exit code: " << code << '\n';
    return platform::shellExitStatus(code);
}
