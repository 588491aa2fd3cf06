#pragma once
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orbelune {

// Where the program's data files (the interface file, the bundle description)
// are looked for, in order: $ORBELUNE_DATA_DIR; beside the executable as
// installed (../share/orbelune, ../../share/orbelune from libexec) or as built;
// the configured install prefix. (The build tree keeps them in
// build/share/orbelune, beside its programs, as an install does.)
std::vector<std::filesystem::path> resourceDirectories();
// The first of those directories that holds `name`.
std::optional<std::filesystem::path> findResource(const std::string& name);

// --data-dir of both programs: prints the folder the data files are found in
// (for packagers and bug reports) and returns 0, or says none was found and
// returns 1.
int printDataDirectory(const char* program, std::ostream& out, std::ostream& err);

}  // namespace orbelune
