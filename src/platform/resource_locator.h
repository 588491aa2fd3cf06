#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orbelune {

// Where the program's data files (the interface file, the bundle description)
// are looked for, in order: $ORBELUNE_DATA_DIR; beside the executable as
// installed (../share/orbelune, ../../share/orbelune from libexec) or as built;
// the configured install prefix; the source tree.
std::vector<std::filesystem::path> resourceDirectories();
// The first of those directories that holds `name`.
std::optional<std::filesystem::path> findResource(const std::string& name);

}  // namespace orbelune
