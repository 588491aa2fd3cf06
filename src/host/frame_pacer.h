#pragma once

namespace orbelune {

// Frame deadlines on a monotonic clock: one frame every interval, on absolute
// deadlines so that frames do not drift, and never a burst to catch up after
// a stall (a stopped process, a slow frame): late frames are skipped.
class FramePacer {
 public:
  explicit FramePacer(double interval, double now) : interval_(interval), next_(now + interval) {}
  bool due(double now) const { return now >= next_; }
  // A frame was drawn (or skipped) at the deadline: the next one.
  void advance(double now) {
    next_ += interval_;
    if (next_ <= now) next_ = now + interval_;
  }
  // The views' interval, once a view says what it is; the deadline already
  // set stands.
  void setInterval(double interval) { interval_ = interval; }
  double interval() const { return interval_; }
  // Milliseconds a host may sleep before the next deadline (0 when it is due).
  int timeoutMs(double now) const;

 private:
  double interval_;
  double next_;
};

}  // namespace orbelune
