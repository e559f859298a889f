#pragma once
// What keeps two stations apart: one station per user session (the lock "VorlickR6X.lock" in
// the runtime folder; a second start there is the operator's double click and ends quietly) and
// one station per station folder (".VorlickR6X.lock" in it; two stations there would write one
// result log and the same detail files, so a second one is refused as a failure).
#include <memory>
#include <string>

#include "platform/lock_file.h"

namespace station {

struct StationLocks {
    enum class Outcome {
        Taken,           // both locks are held: the station may run
        SecondInstance,  // a station of this session runs: `text` for stdout, exit 0
        FolderInUse,     // a station of another session works in this folder: `text` for stderr, exit 2
        Failed,          // a lock could not be made or used: `text` (the reason) for stderr, exit 2
    };
    Outcome outcome = Outcome::Failed;
    std::string text;
    std::unique_ptr<platform::LockFile> instance;
    std::unique_ptr<platform::LockFile> folder;
};

// `program` names the session's lock in `runtimeFolder`; `stationFolder` is the folder the
// station works in.
StationLocks takeStationLocks(const std::string& program, const std::string& runtimeFolder,
                              const std::string& stationFolder);

// The exit code of a station that could not start (usage errors share it).
inline constexpr int kExitCannotStart = 2;

}  // namespace station
