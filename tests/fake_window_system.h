#pragma once
// A window system for the host core's tests: outputs that come and go,
// surfaces drawn with RecordingGraphics, and input handed to the core as a
// backend translates it. The loop the real hosts run, stripped to its steps.
#include <cstddef>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_core.h"
#include "host/idle_source.h"
#include "recording/recording_graphics.h"

namespace orbelune::test {

// An idle source the test sets by hand, counting what it hears.
class FakeIdleSource final : public IdleSource {
 public:
  void prepare(std::vector<pollfd>&, int&) override {}
  Result<void> dispatch(std::vector<pollfd>&) override { return {}; }
  bool idle() const override { return idle_; }
  void shown() override { ++shown_; }
  void hidden() override { ++hidden_; }

  bool idle_ = false;
  int shown_ = 0;
  int hidden_ = 0;
};

class FakeWindowSystem {
 public:
  struct Surface {
    std::string output;
    RecordingGraphics graphics;
    std::unique_ptr<SessionView> view;
  };

  explicit FakeWindowSystem(InputRules::Mode mode, SessionOptions options = {})
      : clock_(std::make_shared<VirtualClock>()), core_("orbelune idle", options, mode, err_, clock_) {}

  void plug(const std::string& output) { outputs_.push_back(output); }
  // The output goes, and the surface on it.
  void unplug(const std::string& output) {
    std::erase(outputs_, output);
    std::erase_if(surfaces_, [&](const std::unique_ptr<Surface>& s) { return s->output == output; });
    closed_ = closed_ || (core_.watchesIdle() && core_.showing() && surfaces_.empty());
  }
  void watch(FakeIdleSource& source) { core_.watchIdle(source, &out_); }

  // One pass of a host's loop: the idle step, surfaces for the outputs while
  // showing, and a frame on each.
  void loop() {
    clock_->advance(OrbeluneView::kAnimationInterval);
    const auto step = core_.idleStep(std::exchange(closed_, false));
    if (step == IdleCycle::Step::Hide) surfaces_.clear();
    if (core_.showing()) {
      for (const auto& o : outputs_) {
        if (!covered(o)) cover(o);
      }
    }
    bool presented = false;
    for (auto& s : surfaces_) presented = s->view->drawFrame(s->graphics) == DrawOutcome::Drawn || presented;
    if (presented && compositorShowsFrames_) core_.frameOnScreen(surfaces_.size());
  }
  void input(const HostEvent& event) { core_.input(event); }

  HostCore& core() { return core_; }
  std::size_t surfaces() const { return surfaces_.size(); }
  std::string said() const { return out_.str(); }
  std::string errors() const { return err_.str(); }
  // A compositor that takes buffers and never shows them (no configure, no frame callback).
  bool compositorShowsFrames_ = true;

 private:
  bool covered(const std::string& output) const {
    for (const auto& s : surfaces_) {
      if (s->output == output) return true;
    }
    return false;
  }
  void cover(const std::string& output) {
    auto s = std::make_unique<Surface>();
    s->output = output;
    auto made = core_.makeView(Size{320, 200}, false, 1.0);
    if (!made) return core_.fail(made.error());
    s->view = std::move(*made);
    surfaces_.push_back(std::move(s));
  }

  std::ostringstream out_, err_;
  std::shared_ptr<VirtualClock> clock_;
  HostCore core_;
  std::vector<std::string> outputs_;
  std::vector<std::unique_ptr<Surface>> surfaces_;
  bool closed_ = false;
};

}  // namespace orbelune::test
