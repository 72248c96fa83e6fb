#pragma once
// The command line's run: opens each source in turn, lists it or extracts
// its tracks through the extraction engine, and says how it went.

#include "rip/RipOptions.h"

namespace ripcli {

// Exit statuses, as documented in the manual page.
constexpr int kExitOk = 0;
constexpr int kExitTrackFailed = 1;
constexpr int kExitUsage = 2;

// SIGINT, SIGTERM and SIGHUP end the run after the current block; the first
// one to arrive is what Run reports (128 + its number).
void InstallSignalHandlers();

// Everything after the arguments are read; the exit status.
int Run(const RipOptions& options);

} // namespace ripcli
