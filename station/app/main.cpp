// VorlickR6X: the production test station, in its window on the desktop or, with --headless,
// without one.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "platform/exit_status.h"
#include "platform/host_name.h"
#include "platform/line_reader.h"
#include "platform/lock_file.h"
#include "platform/record_write.h"
#include "platform/stop_signals.h"
#include "results/results_spool.h"
#include "romwrite/window/display/open_display.h"
#include "station/app/app_options.h"
#include "station/app/station_locks.h"
#include "station/checks/qt/drawing_painter.h"
#include "station/logs/station_log_files.h"
#include "station/sequence/judgement_steps.h"
#include "station/sequence/run_control.h"
#include "station/sequence/station_results.h"
#include "station/sequence/station_runners.h"
#include "station/sequence/station_state.h"
#include "station/window/commands/open_writer.h"
#include "station/window/headless/check_record.h"
#include "station/window/headless/headless_front_end.h"
#include "station/window/headless/input_queue.h"
#include "station/window/qt/raise_channel.h"
#include "station/window/qt/station_window.h"

namespace {

constexpr const char* kProgram = "VorlickR6X";
// A command line longer than this is refused whole; a barcode fits many times over.
constexpr std::size_t kMaxCommandLine = 1 << 20;

// The station as every front end runs it: the automatic checks, the logs and the run control
// on one Station.
struct StationParts {
    StationParts(hidlink::DeviceTable& table, platform::Clock& clock, station::UiPort& ui)
        : station(table, clock, ui), runners(station), runControl(station) {
        // Waiting for a controller, the tick enumerates only after a hotplug event.
        if (!table.followHotplug(clock) && hidlink::traceEnabled())
            std::fprintf(stderr, "%s: no hotplug events here; enumerating on every tick\n", kProgram);
        station.automatic = &judgements;
        station.programVersionText = station::programVersionText(VORLICK_VERSION_STRING);
        station.logs = &logFiles;
        station.runners = &runners;
    }
    station::JudgementSteps judgements;
    station::Station station;
    station::StationRunners runners;
    station::StationLogFiles logFiles;
    station::RunControl runControl;
};

// One station per session and per station folder, the folder it is started in.
station::StationLocks takeStationLocks() {
    std::error_code ec;
    const std::string folder = std::filesystem::current_path(ec).string();
    return station::takeStationLocks(kProgram, platform::runtimeDirectory(), ec ? std::string() : folder);
}

// The exit code of a station that does not run: 0 for a second start in the same session.
int refusedStart(const station::StationLocks& locks) {
    if (locks.outcome == station::StationLocks::Outcome::SecondInstance) {
        std::printf("%s\n", locks.text.c_str());
        return 0;
    }
    std::fprintf(stderr, "%s\n", locks.text.c_str());
    return station::kExitCannotStart;
}

// The results store's writer when the station names a store (its thread starts here); null
// otherwise. Its spool lives in the station folder, the folder the station is started in.
std::unique_ptr<station::StationResults> startResults(const station::AppOptions& options) {
    if (options.resultsUrl.empty()) return nullptr;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    station::StationResultsSettings settings;
    settings.url = options.resultsUrl;
    settings.stationId = options.stationId;
    settings.host = platform::hostName();
    settings.spoolPath = (folder / results::kSpoolFileName).string();
    if (!options.jsonPath.empty()) settings.recordsAlsoIn = "the result log and " + options.jsonPath;
    return std::make_unique<station::StationResults>(settings);
}

int runHeadless(const station::AppOptions& options) {
    // The stop signals first: every thread started later inherits their blocking. They never
    // wait behind the input: a flag the station looks at, and a wake-up for its wait.
    station::InputQueue input;
    station::StopRequests stop;
    platform::StopSignalWatcher stopSignals;
    std::string error;
    if (!stopSignals.start(
            [&input, &stop](int sig) {
                stop.signal(sig);
                input.wake();
            },
            error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 2;
    }
    platform::ignoreBrokenPipe();

    const station::StationLocks locks = takeStationLocks();
    if (locks.outcome != station::StationLocks::Outcome::Taken) return refusedStart(locks);

    station::CheckRecordFile records;
    platform::Failure jsonOpen;
    if (!options.jsonPath.empty() && !records.open(options.jsonPath, jsonOpen)) {
        std::fprintf(stderr, "%s: cannot open %s for the JSON records: %s\n", kProgram, options.jsonPath.c_str(),
                     jsonOpen.reason.c_str());
        return 2;
    }
    auto backend = hidlink::makeBackendFromEnvironment(error);
    if (!backend) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 2;
    }

    platform::Clock& clock = platform::systemClock();
    // Before the station: it writes its last checks at the station's shutdown.
    const std::unique_ptr<station::StationResults> results = startResults(options);
    hidlink::DeviceTable table(*backend);
    station::HeadlessFrontEnd ui(stdout, stderr, clock, input, stop, {options.pressStart, options.checkLimit});
    // On the heap: the station holds its check's frames and maps.
    const auto parts = std::make_unique<StationParts>(table, clock, ui);
    station::Station& station = parts->station;
    station::RunControl& runControl = parts->runControl;
    station.results = results.get();
    ui.attach(station, runControl);
    // The drawing snapshots are rendered off-screen by the window's own painter.
    ui.drawingSnapshot = station::checks::writeDrawingSnapshot;
    station.touch.setAbortFlag(&stop.abortFlag());
    station.pen.setAbortFlag(&stop.abortFlag());
    if (!options.jsonPath.empty()) {
        ui.onCheckEnded = [&records, &station, &options](const station::Station& s) {
            if (const auto written = records.append(station::checkRecordJson(s.check)); !written)
                station::recordFailed(station, "Failed to write '" + options.jsonPath + "': " + written.failure.reason);
        };
    }

    platform::LineReader reader(STDIN_FILENO, kMaxCommandLine);
    if (!reader.start(
            [&input](platform::LineReader::Event e, std::string line) {
                using K = station::InputEvent::Kind;
                const K kind = e == platform::LineReader::Event::Line      ? K::Line
                               : e == platform::LineReader::Event::TooLong ? K::TooLong
                                                                           : K::End;
                // Waits while the queue is full: standard input stays unread meanwhile.
                input.push({kind, std::move(line)});
            },
            error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 2;
    }

    std::error_code ec;
    const std::string startDirectory = std::filesystem::current_path(ec).string();
    runControl.startUp(startDirectory, options.recipe);
    ui.run();
    input.close();  // a reader waiting for room gives up
    reader.stop();
    stopSignals.stop();
    return platform::shellExitStatus(station.exitCode);
}

// Hands a stop signal from the watcher thread to the window (queued into its thread); one that
// arrives before the window exists closes it as soon as it does.
class StopRelay {
public:
    void signal() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (window_ != nullptr)
            QMetaObject::invokeMethod(window_, &station::StationWindow::requestStop, Qt::QueuedConnection);
        else
            early_ = true;
    }
    void attach(station::StationWindow* window) {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = window;
        if (window_ != nullptr && early_)
            QMetaObject::invokeMethod(window_, &station::StationWindow::requestStop, Qt::QueuedConnection);
    }

private:
    std::mutex mutex_;
    station::StationWindow* window_ = nullptr;
    bool early_ = false;
};

int runWindow(const station::AppOptions& options) {
    StopRelay relay;
    platform::StopSignalWatcher stopSignals;
    std::string error;
    if (!stopSignals.start([&relay](int) { relay.signal(); }, error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 2;
    }
    const std::unique_ptr<QApplication> app = romwrite::openDisplay(kProgram);
    if (!app) {
        std::fprintf(stderr,
                     "%s: no display for the window (DISPLAY and WAYLAND_DISPLAY unset or not reachable); "
                     "run the station with --headless (see --help)\n",
                     kProgram);
        return 2;
    }

    const QString raisePath = station::raiseSocketPath(QString::fromStdString(platform::runtimeDirectory()));
    const station::StationLocks locks = takeStationLocks();
    if (locks.outcome == station::StationLocks::Outcome::SecondInstance &&
        station::askRunningWindowToRaise(raisePath)) {
        std::printf("%s is already running; its window was brought to the front. This one ends.\n", kProgram);
        return 0;
    }
    if (locks.outcome != station::StationLocks::Outcome::Taken) return refusedStart(locks);

    auto backend = hidlink::makeBackendFromEnvironment(error);
    if (!backend) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 2;
    }
    platform::Clock& clock = platform::systemClock();
    const std::unique_ptr<station::StationResults> results = startResults(options);
    hidlink::DeviceTable table(*backend);
    station::StationWindow window;
    const auto parts = std::make_unique<StationParts>(table, clock, window);
    station::Station& station = parts->station;
    station::RunControl& runControl = parts->runControl;
    station.results = results.get();
    window.attach(station, runControl);
    window.setWriterOpener([](station::Station& s) { station::openWriter(s, station::systemWriterProcesses()); });

    station::RaiseServer raiseServer([&window] { window.bringToFront(); });
    QString raiseError;
    if (!raiseServer.listen(raisePath, raiseError))
        std::fprintf(stderr, "%s: a second start cannot bring this window to the front (%s)\n", kProgram,
                     raiseError.toLocal8Bit().constData());
    QObject::connect(&window, &station::StationWindow::closed, app.get(), &QCoreApplication::quit,
                     Qt::QueuedConnection);

    window.show();
    std::error_code ec;
    const std::string startDirectory = std::filesystem::current_path(ec).string();
    runControl.startUp(startDirectory, options.recipe);
    relay.attach(&window);
    app->exec();
    relay.attach(nullptr);
    stopSignals.stop();
    return platform::shellExitStatus(station.exitCode);
}

}  // namespace

int main(int argc, char** argv) {
    // A record past the file-size limit fails (and is reported) instead of killing the station.
    platform::ignoreFileSizeSignal();
    station::AppOptions options = station::parseAppOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s: %s\n%s", kProgram, options.error.c_str(), station::appUsage());
        return 2;
    }
    switch (options.mode) {
        case station::AppOptions::Mode::Help:
            std::fputs(station::appUsage(), stdout);
            return 0;
        case station::AppOptions::Mode::Version:
            std::printf("%s %s\n", kProgram, VORLICK_VERSION_STRING);
            return 0;
        case station::AppOptions::Mode::Window:
        case station::AppOptions::Mode::Headless:
            break;
    }
    const std::string resultsProblem = station::settleResultsOptions(
        options, std::getenv("VORLICK_RESULTS"), std::getenv("VORLICK_STATION_ID"), platform::hostName());
    if (!resultsProblem.empty()) {
        std::fprintf(stderr, "%s: %s\n", kProgram, resultsProblem.c_str());
        return station::kExitCannotStart;
    }
    if (options.mode == station::AppOptions::Mode::Window) return runWindow(options);
    return runHeadless(options);
}
