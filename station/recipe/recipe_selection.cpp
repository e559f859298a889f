#include "station/recipe/recipe_selection.h"

#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>

namespace station {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isTouchUsage(std::uint32_t usage) { return usage == 17 || usage == 11; }

// A folder reached twice (a link back up the tree) is not searched again, so a loop of links
// cannot recurse without end.
bool firstVisit(const std::string& folder, std::vector<std::string>& visited) {
    std::error_code ec;
    const std::string key = std::filesystem::weakly_canonical(folder, ec).string();
    const std::string& id = ec ? folder : key;
    for (const std::string& seen : visited)
        if (seen == id) return false;
    visited.push_back(id);
    return true;
}

}  // namespace

std::int64_t recipeNamePid(std::string_view fileName) {
    if (fileName.find(".ini") == std::string_view::npos) return -1;
    const std::size_t at = fileName.find("PID");
    if (at == std::string_view::npos) return -1;
    std::int64_t value = 0;
    for (std::size_t i = at + 3; i < fileName.size() && i < at + 7; ++i) {
        const int d = hexDigit(fileName[i]);
        if (d < 0) break;
        value = value * 16 + d;
    }
    return value;
}

RecipeSelector::RecipeSelector(controllerlink::DeviceLinkBase& touch, LoadFn load, ListFn list)
    : touch_(touch), load_(std::move(load)), list_(std::move(list)) {}

std::vector<FolderEntry> RecipeSelector::listFolder(const std::string& folder) {
    std::vector<FolderEntry> out;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        out.push_back({it->path().filename().string(), it->is_directory(typeError)});
    }
    return out;
}

bool RecipeSelector::findControllerPid() {
    touch_.refreshFoundList();
    const auto found = std::span(touch_.foundList()).first(touch_.found());
    for (const std::uint32_t page : {0xFF11u, 0xFF09u}) {
        for (const hidlink::CollectionIdentity& id : found) {
            if (id.usagePage == page && isTouchUsage(id.usage)) {
                connectedPid_ = id.productId;
                return true;
            }
        }
    }
    return false;
}

bool RecipeSelector::SelectRecipeByPid(const std::string& startDirectory, std::vector<std::string>& messages) {
    connectedPid_ = 0;
    if (!findControllerPid()) {
        deviceWaitIndicator_ = 1;
        return false;
    }
    std::vector<std::string> visited;
    if (searchFolder(startDirectory, visited)) return true;
    char text[64];
    std::snprintf(text, sizeof text, "PID%04X ini file does not exist.", static_cast<unsigned>(connectedPid_));
    messages.emplace_back(text);
    return false;
}

bool RecipeSelector::searchFolder(const std::string& folder, std::vector<std::string>& visited) {
    if (!firstVisit(folder, visited)) return false;
    for (const FolderEntry& entry : list_(folder)) {
        const std::string path = folder + "/" + entry.name;
        if (entry.isFolder) {
            if (entry.name.empty() || entry.name.front() == '.') continue;
            if (searchFolder(path, visited)) return true;
        } else if (recipeNamePid(entry.name) == static_cast<std::int64_t>(connectedPid_)) {
            load_(path);
            return true;
        }
    }
    return false;
}

}  // namespace station
