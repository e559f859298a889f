#include "station/recipe/recipe_paths.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace station {

namespace {

bool isWindowsOnlyPath(std::string_view v) {
    return v.find(":\\") != std::string_view::npos || v.find("\\\\") != std::string_view::npos;
}

}  // namespace

std::string recipePathCandidate(std::string_view value, std::string_view startDirectory) {
    if (isWindowsOnlyPath(value)) return std::string(value);
    std::string v(value);
    for (char& c : v)
        if (c == '\\') c = '/';
    if (!v.empty() && v.front() == '/') return v;
    std::string candidate(startDirectory);
    candidate += '/';
    candidate += v;
    return candidate;
}

bool ResolveRecipePath(std::string& field, std::string_view keyName, PathKind kind, std::string_view startDirectory,
                       std::vector<std::string>& messages) {
    const std::string candidate = recipePathCandidate(field, startDirectory);
    std::error_code ec;
    std::filesystem::path resolved;
    bool ok = !isWindowsOnlyPath(field) && !candidate.empty();
    if (ok) {
        // A file key naming a folder (or the reverse) would only fail later, far from the recipe.
        const auto st = std::filesystem::status(candidate, ec);
        ok = !ec &&
             (kind == PathKind::Folder ? std::filesystem::is_directory(st) : std::filesystem::is_regular_file(st));
    }
    if (ok) {
        resolved = std::filesystem::canonical(candidate, ec);
        ok = !ec;
    }
    if (!ok) {
        std::string msg = "Ini Error: does not exist. ";
        msg += keyName;
        msg += "=\"";
        msg += candidate;
        msg += "\".";
        messages.push_back(std::move(msg));
        return false;
    }
    field = resolved.string();
    return true;
}

}  // namespace station
