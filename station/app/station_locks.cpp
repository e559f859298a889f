#include "station/app/station_locks.h"

namespace station {

StationLocks takeStationLocks(const std::string& program, const std::string& runtimeFolder,
                              const std::string& stationFolder) {
    using O = platform::LockFile::Outcome;
    StationLocks out;
    const std::string owner = platform::programOwner();
    const std::string instancePath = runtimeFolder + "/" + program + ".lock";
    platform::LockFile::Attempt instance = platform::LockFile::take(instancePath, owner);
    if (instance.outcome == O::Held) {
        out.outcome = StationLocks::Outcome::SecondInstance;
        out.text = program + " is already running (lock " + instancePath + "); this one ends.";
        return out;
    }
    if (instance.outcome == O::Failed) {
        out.text = program + ": cannot take the single-instance lock: " + instance.error.text();
        return out;
    }
    if (stationFolder.empty()) {
        out.text = program + ": cannot take the station folder's lock: the working folder cannot be read";
        return out;
    }
    const std::string folderPath = stationFolder + "/." + program + ".lock";
    platform::LockFile::Attempt folder = platform::LockFile::take(folderPath, owner);
    if (folder.outcome == O::Held) {
        out.outcome = StationLocks::Outcome::FolderInUse;
        out.text = program + ": another station works in " + stationFolder + " (" +
                   (folder.holder.empty() ? std::string("holder unknown") : folder.holder) + ", lock " + folderPath +
                   "); one station per folder keeps its result log and detail files apart. This one ends.";
        return out;
    }
    if (folder.outcome == O::Failed) {
        out.text = program + ": cannot take the station folder's lock: " + folder.error.text();
        return out;
    }
    out.outcome = StationLocks::Outcome::Taken;
    out.instance = std::move(instance.lock);
    out.folder = std::move(folder.lock);
    return out;
}

}  // namespace station
