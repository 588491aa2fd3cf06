#pragma once

namespace orbelune {

// SIGTERM and SIGINT end the process at once, with status 0. A saver has
// nothing to save, and a graceful end would talk to the X server or the
// compositor (XCloseDisplay waits for its answer), which may be stopped or
// stuck: the kernel closes the connection and the server frees the windows,
// surfaces, pictures and shared memory with it. Set first of all, so that a
// signal however early ends the run cleanly.
void endOnTerminationSignals();

}  // namespace orbelune
