#pragma once

namespace orbelune {

// The view's source of "now", in seconds on an arbitrary origin. Real runs use a
// monotonic clock (a wall clock can jump when the system time is set); tests and
// the headless renderer set a virtual clock through the same interface.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double now() const = 0;
};

class MonotonicClock final : public Clock {
 public:
  double now() const override;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(double start = 0.0) : now_(start) {}
  double now() const override { return now_; }
  void set(double t) { now_ = t; }
  void advance(double dt) { now_ += dt; }

 private:
  double now_;
};

}  // namespace orbelune
