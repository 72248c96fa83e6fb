#pragma once
// The command line's run: opens each source in turn, lists it or extracts
// its tracks through the extraction engine, and says how it went.

#include "rip/RipOptions.h"

namespace ripcli {

// Exit statuses, as documented in the manual page.
constexpr int kExitOk = 0;
constexpr int kExitTrackFailed = 1;
constexpr int kExitUsage = 2;

// Everything after the arguments are read; the exit status.
int Run(const RipOptions& options);

} // namespace ripcli
