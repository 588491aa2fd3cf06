#pragma once
#include "session/saver_session.h"

namespace orbelune {

// What `orbelune idle` watches for and shows.
struct IdleOptions {
  double afterSeconds = 600.0;  // the session's idle time that shows the figure
  double lockAfterSeconds = 0.0;  // how long the figure shows before the session locks; 0: never
  bool verbose = false;         // a line when the figure shows and when it hides
  SessionOptions session;       // the figure's run
};

}  // namespace orbelune
