#pragma once
#include "session/saver_session.h"

namespace orbelune {

// What `orbelune idle` watches for and shows.
struct IdleOptions {
  double afterSeconds = 600.0;  // the session's idle time that shows the figure
  bool verbose = false;         // a line when the figure shows and when it hides
  SessionOptions session;       // the figure's run
};

}  // namespace orbelune
