#pragma once
// Test seam of the CD audio library layer. Only tests include this; the
// windows never do.
//
// How it works: FailReads arms a fault for one sector. Each later
// ReadCDAudioLBA call whose range [startFrame, startFrame + numFrames) covers
// that sector, and which would otherwise go to the disc (valid handle, buffer
// large enough, range on the disc), fails instead: it returns 0, reads
// nothing and leaves errorCode for GetAspiLibError. After `times` such
// failures the fault is used up and reads of that sector succeed again.
// Several faults may be armed at once; a call that covers more than one uses
// up the first one armed.
//
// ReadCallCount counts every ReadCDAudioLBA call, good or bad, since the last
// ClearReadFailures, so a test can check how often extraction retried.
// CloseAllHandles closes every open handle so each test starts clean.

#include <cstdint>
#include <string>

#include "cd/akrip32.h"

namespace akrip::testing {

void FailReads(std::int32_t sector, int times, int errorCode = E_ASPIERROR);
// Disarms every fault and sets ReadCallCount back to 0.
void ClearReadFailures();
int ReadCallCount();
void CloseAllHandles();
// The last message libcdio logged (any level but debug), empty if none yet.
std::string LastLibraryMessage();

} // namespace akrip::testing
