#include "base/resource_locator.h"

#include <unistd.h>

#include <cstdlib>

#include "bundle_info.h"

namespace orbelune {
namespace fs = std::filesystem;

std::vector<fs::path> resourceDirectories() {
  std::vector<fs::path> dirs;
  if (const char* env = std::getenv("ORBELUNE_DATA_DIR"); env && *env) dirs.emplace_back(env);
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path dir = exe.parent_path();
    dirs.push_back(dir / ".." / "share" / "orbelune");
    dirs.push_back(dir / ".." / ".." / "share" / "orbelune");
  }
  dirs.emplace_back(kInstallDataDir);
  return dirs;
}

std::optional<fs::path> findResource(const std::string& name) {
  for (const auto& dir : resourceDirectories()) {
    std::error_code ec;
    fs::path candidate = dir / name;
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal();
  }
  return std::nullopt;
}

int printDataDirectory(const char* program, std::ostream& out, std::ostream& err) {
  // The bundle description and the interface file are installed side by side.
  auto found = findResource("Orbelune.bundle.json");
  if (!found) {
    err << program << ": no data folder found (none holds Orbelune.bundle.json); set ORBELUNE_DATA_DIR\n";
    return 1;
  }
  out << found->parent_path().string() << "\n";
  return 0;
}

}  // namespace orbelune
