#pragma once
// FLAC for RipEngine: libFLAC's stream encoder at compression level 5, with
// the verifier on (every frame is decoded again and compared while encoding),
// a seek table as the flac command makes one (a point every ten seconds) and
// the tags as Vorbis comments.

#include "output/TrackEncoder.h"
#include "output/TrackTags.h"

#include <memory>

namespace ripengine {

// The file's STREAMINFO ends up stating the samples it holds and their MD5,
// also for a track that ended early: the encoder seeks back to the header at
// the end through the TrackOutput. After a failed write the file holds the
// frames written whole before it, and STREAMINFO states just those; End then
// says false, as the track failed. Seek points past the frames a file holds
// are placeholders.
std::unique_ptr<TrackEncoder> MakeFlacEncoder(const TrackTags& tags);

} // namespace ripengine
