#pragma once
// The menu's "RomWrite > Open": starts the firmware writer the recipe names, for interactive
// use, unless a copy of it already runs. It speaks only through its three error boxes; a start
// that fails is not reported.
#include <string>
#include <vector>

#include "station/sequence/station_state.h"

namespace station {

// The system's side of the command (production: platform/processes; tests: a fake).
class WriterProcesses {
public:
    virtual ~WriterProcesses() = default;
    // What identifies each running process this user may inspect: its executable's path and
    // the files it has mapped.
    virtual std::vector<std::string> runningModulePaths() = 0;
    // Starts `path` with no arguments, detached from the station; false when it did not start.
    virtual bool startDetached(const std::string& path) = 0;
};

enum class OpenWriterResult { NoRecipe, PathEmpty, NotFound, AlreadyRunning, Started, StartFailed };

OpenWriterResult openWriter(Station& s, WriterProcesses& processes);

// The production side: /proc and a detached start.
WriterProcesses& systemWriterProcesses();

}  // namespace station
