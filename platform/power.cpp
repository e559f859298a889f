#include "platform/power.h"

#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

extern char** environ;

namespace platform {
namespace {

std::string firstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

}  // namespace

bool SysfsPowerStatus::onMains() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(root_, ec);
    if (ec) return true;
    bool sawMains = false;
    for (const fs::directory_entry& e : it) {
        if (firstLine(e.path() / "type") != "Mains") continue;
        sawMains = true;
        if (firstLine(e.path() / "online") == "1") return true;
    }
    return !sawMains;
}

void LoggingStayAwake::request() {
    held_ = true;
    if (!noted_ && note_) note_("the machine is not kept awake while firmware is written (no inhibitor here)");
    noted_ = true;
}

bool SystemdRestarter::restart() {
    char arg0[] = "systemctl";
    char arg1[] = "reboot";
    char* argv[] = {arg0, arg1, nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
