// `orbelune render --ops` must not change for the same stored settings and
// flags: scripts, videos and bug reports depend on it. Each case is a set of
// stored values and flags. Its output is kept in golden/render_ops/CASE.jsonl.xz
// (xzcat shows it) with the status line's metrics taken out: its font size,
// width and origin come from the font and the shaping library, which differ
// between systems while the figure does not. They are kept per font version
// in golden/text_metrics/, and checked where this system's version has a
// file. A failure names the first line, op and field that differ.
// ORBELUNE_UPDATE_GOLDEN=1 rewrites the case files and this font's metrics.
#include <gtest/gtest.h>

#include <fontconfig/fontconfig.h>
#include <hb.h>
#include <pango/pango.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "test_support.h"
#include "view/status_line.h"

namespace orbelune {
namespace {

using nlohmann::ordered_json;
namespace fs = std::filesystem;

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

const fs::path kGolden = fs::path(ORBELUNE_SOURCE_DIR) / "tests" / "golden";

// The font the status line is drawn in, as this system resolves it, and the
// libraries that shape and lay it out: what the text's metrics depend on.
std::string fontVersion() {
  std::string file = "none";
  int version = 0;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kStatusFontName));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
    FcChar8* path = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
      file = fs::path(reinterpret_cast<const char*>(path)).stem().string();
    }
    FcPatternGetInteger(match, FC_FONTVERSION, 0, &version);
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return "pango-" + std::string(pango_version_string()) + "_harfbuzz-" + hb_version_string() + "_" + file + "-" +
         std::to_string(version);
}

std::string readCompressed(const fs::path& file) {
  if (!fs::exists(file)) return {};
  FILE* p = popen(("xz -dc '" + file.string() + "'").c_str(), "r");
  std::string out;
  char buf[65536];
  for (std::size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  if (p) pclose(p);
  return out;
}

void writeCompressed(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  FILE* p = popen(("xz -9 -c > '" + file.string() + "'").c_str(), "w");
  ASSERT_NE(p, nullptr);
  fwrite(text.data(), 1, text.size(), p);
  ASSERT_EQ(pclose(p), 0) << "xz could not write " << file;
}

// Output split into what every system draws alike and the text's metrics
// (font size, width and origin of each text op, in order).
struct Split {
  std::vector<ordered_json> lines;
  ordered_json metrics = ordered_json::array();
};

Split split(const std::string& output) {
  Split s;
  std::istringstream in(output);
  for (std::string text; std::getline(in, text);) {
    auto line = ordered_json::parse(text);
    if (line.contains("ops")) {
      for (auto& op : line["ops"]) {
        if (op["op"] != "text") continue;
        s.metrics.push_back({op["size"], op["width"], op["point"]});
        op.erase("size");
        op.erase("width");
        op.erase("point");
      }
    }
    s.lines.push_back(std::move(line));
  }
  return s;
}

// Where `got` first differs from `want`: the path to the field and both
// values, or "" when they are the same.
std::string firstDifference(const ordered_json& want, const ordered_json& got, const std::string& path) {
  if (want.type() == got.type() && want.is_structured()) {
    if (want.size() != got.size()) {
      return path + " has " + std::to_string(got.size()) + " entries where the reference has " +
             std::to_string(want.size());
    }
    if (want.is_array()) {
      for (std::size_t i = 0; i < want.size(); ++i) {
        auto d = firstDifference(want[i], got[i], path + "[" + std::to_string(i) + "]");
        if (!d.empty()) return d;
      }
      return {};
    }
    for (auto it = want.begin(); it != want.end(); ++it) {
      if (!got.contains(it.key())) return path + "." + it.key() + " is missing";
      auto d = firstDifference(*it, got[it.key()], path + "." + it.key());
      if (!d.empty()) return d;
    }
    return {};
  }
  if (want == got) return {};
  return path + " is " + got.dump() + " where the reference has " + want.dump();
}

// The first difference between a case's output and its reference, by line
// (tick) and op, with the op's kind.
std::string compare(const std::vector<ordered_json>& want, const std::vector<ordered_json>& got) {
  for (std::size_t i = 0; i < std::min(want.size(), got.size()); ++i) {
    const std::string where = "line " + std::to_string(i + 1) +
                              (got[i].contains("tick") ? " (tick " + got[i]["tick"].dump() + ")" : std::string());
    if (want[i].contains("ops") && got[i].contains("ops") && want[i]["ops"].size() == got[i]["ops"].size()) {
      for (std::size_t k = 0; k < want[i]["ops"].size(); ++k) {
        const auto& op = got[i]["ops"][k];
        auto d = firstDifference(want[i]["ops"][k], op, "ops[" + std::to_string(k) + "]");
        if (!d.empty()) return where + ", a " + op.value("op", std::string("?")) + " op: " + d;
      }
    }
    auto d = firstDifference(want[i], got[i], "");
    if (!d.empty()) return where + ": " + d;
  }
  if (want.size() != got.size()) {
    return std::to_string(got.size()) + " lines where the reference has " + std::to_string(want.size());
  }
  return {};
}

class GoldenRenderTest : public test::IsolatedTest {};

TEST_F(GoldenRenderTest, EveryCaseDrawsTheReferenceFigureAndTheTextAsThisFontVersionMeasuresIt) {
  const bool update = std::getenv("ORBELUNE_UPDATE_GOLDEN") != nullptr;
  const std::string font = fontVersion();
  const fs::path metricsFile = kGolden / "text_metrics" / (font + ".json");
  ordered_json metrics = ordered_json::object();
  if (fs::exists(metricsFile)) metrics = ordered_json::parse(std::ifstream(metricsFile));
  const bool checkMetrics = !update && !metrics.empty();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(configHome() / "orbelune");
    for (const char* write : c.stored) {
      ASSERT_EQ(test::runOrbelune(std::string("defaults write ") + write).status, 0) << write;
    }
    const auto run = test::runOrbelune(std::string("render --ops - ") + c.flags);
    ASSERT_EQ(run.status, 0) << run.err;
    Split got = split(run.out);
    const fs::path reference = kGolden / "render_ops" / (std::string(c.name) + ".jsonl.xz");
    if (update) {
      std::string text;
      for (const auto& line : got.lines) text += line.dump() + "\n";
      writeCompressed(reference, text);
      metrics[c.name] = got.metrics;
      continue;
    }
    const std::string stored = readCompressed(reference);
    ASSERT_FALSE(stored.empty()) << "no reference in " << reference;
    const std::string figure = compare(split(stored).lines, got.lines);
    EXPECT_EQ(figure, "") << "the figure changed: " << figure;
    if (checkMetrics) {
      ASSERT_TRUE(metrics.contains(c.name)) << "no text metrics for the case in " << metricsFile;
      const std::string text = firstDifference(metrics[c.name], got.metrics, "text metrics [size, width, point]");
      EXPECT_EQ(text, "") << "the status line measures differently with " << font << ": " << text;
    }
  }
  if (update) {
    // One text op a line, so that a diff of two font versions reads easily.
    fs::create_directories(metricsFile.parent_path());
    std::ofstream out(metricsFile);
    out << "{";
    for (auto it = metrics.begin(); it != metrics.end(); ++it) {
      out << (it == metrics.begin() ? "\n" : ",\n") << " " << ordered_json(it.key()).dump() << ": [";
      for (std::size_t i = 0; i < it->size(); ++i) out << (i ? ",\n  " : "\n  ") << (*it)[i].dump();
      out << "\n ]";
    }
    out << "\n}\n";
  } else if (!checkMetrics) {
    std::cout << "[ NOTE     ] the figure matches; the text's metrics were not checked: none are stored for " << font
              << " (ORBELUNE_UPDATE_GOLDEN=1 stores them)\n";
  }
}

}  // namespace
}  // namespace orbelune
