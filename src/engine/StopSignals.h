#pragma once
// SIGTERM (logging out), SIGINT (Ctrl+C in the terminal that started us) and
// SIGHUP (that terminal closing) end a run the way closing the window does:
// the current track ends after the block it is on, with a file that says
// what it holds, and no other starts. The window and the command line both
// install these handlers and ask Received.

namespace stopsignals {

// Installs the handlers, except over a signal that was ignored when the
// program started (nohup); a second signal ends the program at once. When wakeFd is not -1, each
// signal also writes one byte to it, so an event loop waiting on its other end wakes up and can
// quit. False when a handler could not be set.
bool Install(int wakeFd = -1);

// The first of those signals that arrived; 0 when none has.
int Received();

} // namespace stopsignals
