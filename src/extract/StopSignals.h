#pragma once
// SIGTERM (logging out), SIGINT (Ctrl+C in the terminal that started us) and
// SIGHUP (that terminal closing) end the program the way closing its main
// window does: an extraction ends its track after the block it is on, with a
// file that says what it holds, and starts no other.

namespace stopsignals {

// Installs the handlers. Each signal sets mVariables::StopRequested and,
// when wakeFd is not -1, writes one byte to it, so an event loop waiting on
// its other end wakes up and can quit. False when a handler could not be set.
bool Install(int wakeFd);

// The last of those signals that arrived; 0 when none has.
int Received();

}  // namespace stopsignals
