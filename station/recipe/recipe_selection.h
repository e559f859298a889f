#pragma once
// Without a recipe on the command line the station picks one itself: the first recipe file
// below the start folder whose name carries the attached controller's product id (PID0112.ini).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "controllerlink/device_link_base.h"

namespace station {

// The four characters after the first "PID" of a name holding ".ini" and "PID", read as hex up
// to the first non-hex character (PID12.ini reads 0x12); -1 when the name is no recipe name.
std::int64_t recipeNamePid(std::string_view fileName);

struct FolderEntry {
    std::string name;
    bool isFolder = false;
};

class RecipeSelector {
public:
    // Loads the chosen file; its own result does not matter to the selection.
    using LoadFn = std::function<void(const std::string& path)>;
    // A folder's entries in the platform's order; the selection does not sort.
    using ListFn = std::function<std::vector<FolderEntry>(const std::string& folder)>;

    RecipeSelector(controllerlink::DeviceLinkBase& touch, LoadFn load, ListFn list = listFolder);

    // True when a qualifying file was found and handed to the loader. Called with the start
    // folder; with no suitable controller attached it sets deviceWaitIndicator and says nothing.
    // When no file carries the controller's product id it adds that to `messages`.
    bool SelectRecipeByPid(const std::string& startDirectory, std::vector<std::string>& messages);

    std::uint32_t connectedPid() const { return connectedPid_; }
    std::uint32_t deviceWaitIndicator() const { return deviceWaitIndicator_; }

    // Entries of `folder` as std::filesystem lists them; an unreadable folder is empty.
    static std::vector<FolderEntry> listFolder(const std::string& folder);

private:
    bool searchFolder(const std::string& folder, std::vector<std::string>& visited);
    bool findControllerPid();

    controllerlink::DeviceLinkBase& touch_;
    LoadFn load_;
    ListFn list_;
    std::uint32_t connectedPid_ = 0;
    std::uint32_t deviceWaitIndicator_ = 0;
};

}  // namespace station
