#pragma once
// The site's post-process program, run after every check whose recipe enables it: started with
// the command line POST_PROCESS_PATH, waited for without limit, its exit code kept for the
// records and never judged.
#include <string>
#include <string_view>
#include <vector>

#include "station/sequence/check_steps.h"

namespace station {

class ChildLauncher;

class PostProcess {
public:
    explicit PostProcess(ChildLauncher& launcher) : launcher_(launcher) {}
    // Always ran: a program that cannot be started or waited for is said, not judged.
    RunnerOutcome run(CheckContext& check, const std::string& workDir);

private:
    ChildLauncher& launcher_;
};

// POST_PROCESS_PATH as the program and its arguments: words split at blanks, a word in double
// quotes kept whole (a path with spaces), nothing expanded. Empty when there is no program.
std::vector<std::string> splitCommandLine(std::string_view line);

// The same, for a recipe whose reader has taken the quotes away: the program is the shortest
// start of the line, ended at a blank, that names a file (relative to `workDir`), so
// "/opt/site tools/label line 2" runs "/opt/site tools/label" with "line", "2". When no start
// names a file, the plain split.
std::vector<std::string> commandLineWords(std::string_view line, const std::string& workDir);

}  // namespace station
