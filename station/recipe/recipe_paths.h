#pragma once
// Paths written in a recipe are relative to the folder the station was started in, not to
// whatever the working directory is at the moment of a load.
#include <string>
#include <string_view>
#include <vector>

namespace station {

enum class PathKind { File, Folder };

// The candidate path a recipe value stands for: absolute when it starts with "/", otherwise
// below `startDirectory`; "\" separators become "/". Windows drive ("C:\") and network ("\\")
// paths are kept as written.
std::string recipePathCandidate(std::string_view value, std::string_view startDirectory);

// Checks that `field` names an existing file or folder (as `kind` says) and replaces it by its
// absolute canonical form. On failure adds "Ini Error: does not exist. KEY="candidate"." to
// `messages` and leaves the field unchanged.
bool ResolveRecipePath(std::string& field, std::string_view keyName, PathKind kind, std::string_view startDirectory,
                       std::vector<std::string>& messages);

}  // namespace station
