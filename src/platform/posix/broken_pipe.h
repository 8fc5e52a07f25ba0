// SIGPIPE, which Linux raises on a send to a connection whose peer has gone.
// Its default action ends the process; sendfile() has no flag to keep it
// quiet, so `transmit_file` blocks it around each call unless the whole
// process ignores it.
#pragma once

namespace platform {

// Makes the process ignore SIGPIPE from now on, and lets `transmit_file`
// skip its per-call guard. For the program's entry, before any thread
// starts. False when the setting could not be made.
bool ignore_broken_pipe_signal();

}  // namespace platform
