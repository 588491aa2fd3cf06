// `orbelune render --ops` must not change, byte for byte, for the same stored
// settings and flags: scripts, videos and bug reports depend on it. Each case
// is a set of stored values and flags; its output's FNV-1a hash and length are
// kept in golden/render_ops.txt. ORBELUNE_UPDATE_GOLDEN=1 rewrites that file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "test_support.h"

namespace orbelune {
namespace {

struct GoldenCase {
  const char* name;
  std::vector<const char*> stored;  // `defaults write` arguments, one string each
  const char* flags;
};

const GoldenCase kCases[] = {
    {"defaults", {}, "--frames 40"},
    {"fixed-frequencies", {}, "--size 640x480 --sweep-method 0 --frequency-x1 3 --frequency-y1 2 --frames 30"},
    {"log-sweep-with-stalls", {}, "--sweep-method 2 --sweep-time 5 --frame-times 0.05,0.3,0.01,0.05,2,0.05,0.15 --frames 25"},
    {"dense", {}, "--size 800x600 --frequency-x1 440 --frequency-x2 500 --frequency-y1 5 --frequency-y2 5 --frames 4"},
    {"colours-phases-fit",
     {"Keyed_LineColor -color 1,0,0,0.5", "Keyed_TextColor -color 0,1,1,1", "ShowInitialPhase -bool true",
      "InitialPhaseX -float 45", "InitialPhaseY2 -float -30", "FitToScreenSize -bool true"},
     "--size 400x900 --frames 30"},
    {"legacy-background-no-status", {"BackColor -color 0.1,0.2,0.3,1", "LineWidth -float 7.5"}, "--no-status --frames 20"},
    {"phases-only-preview", {"ShowFrequency -bool false", "ShowInitialPhase -bool true", "FigureSize -float 0.3"},
     "--preview --size 300x200 --frames 15"},
    // Phases swept over several turns, shown in the status line.
    {"phase-sweep-over-turns", {},
     "--show-phases --phase-x1 0 --phase-x2 720 --phase-y1 -720 --phase-y2 360 --sweep-time 1.5 --frames 45"},
};

int run(const std::string& command, std::string* out) {
  FILE* p = popen(command.c_str(), "r");
  char buf[65536];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) {
    if (out) out->append(buf, n);
  }
  return WEXITSTATUS(pclose(p));
}

std::string fingerprint(const std::string& text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%016llx %zu", static_cast<unsigned long long>(h), text.size());
  return buf;
}

const std::string kGoldenFile = std::string(ORBELUNE_SOURCE_DIR) + "/tests/golden/render_ops.txt";

std::map<std::string, std::string> readGolden() {
  std::map<std::string, std::string> out;
  std::ifstream in(kGoldenFile);
  for (std::string name, hash, size; in >> name >> hash >> size;) out[name] = hash + " " + size;
  return out;
}

class GoldenRenderTest : public test::IsolatedTest {};

TEST_F(GoldenRenderTest, OpsOutputIsUnchangedForEveryCase) {
  const bool update = std::getenv("ORBELUNE_UPDATE_GOLDEN") != nullptr;
  const auto golden = readGolden();
  std::ostringstream written;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(configHome() / "orbelune");
    for (const char* write : c.stored) {
      ASSERT_EQ(run(std::string(ORBELUNE_BINARY) + " defaults write " + write, nullptr), 0) << write;
    }
    std::string out;
    ASSERT_EQ(run(std::string(ORBELUNE_BINARY) + " render --ops - " + c.flags, &out), 0);
    const std::string print = fingerprint(out);
    written << c.name << " " << print << "\n";
    if (!update) {
      ASSERT_TRUE(golden.count(c.name)) << "no golden fingerprint";
      EXPECT_EQ(print, golden.at(c.name));
    }
  }
  if (update) std::ofstream(kGoldenFile) << written.str();
}

}  // namespace
}  // namespace orbelune
