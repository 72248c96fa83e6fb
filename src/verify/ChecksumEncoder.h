#pragma once
// Checksums that ride along an extraction: an encoder that hands every block
// to the track's own encoder (WAV, MP3, FLAC) and takes the same block into
// a TrackChecksums, so the engine reads each sector once and is not changed.

#include "output/TrackEncoder.h"
#include "verify/Checksums.h"

#include <memory>
#include <mutex>
#include <optional>

namespace verify {

// Where a track's checksums land. The job's thread writes it once, at the
// track's end; the caller keeps it and reads it after the job has ended.
class ChecksumSink {
  public:
    // Nothing until the encoder ended (a track whose file was never made has
    // none). Result()->Complete() tells whether the whole track was taken in.
    std::optional<ChecksumResult> Result() const;
    void Store(const ChecksumResult& result);

  private:
    mutable std::mutex mutex_;
    std::optional<ChecksumResult> result_;
};

// inner's Begin, Encode and End, in that order, with every block it encoded
// also taken into the checksums; what inner answers is what it answers.
std::unique_ptr<ripengine::TrackEncoder>
WithChecksums(std::unique_ptr<ripengine::TrackEncoder> inner, TrackPlace place,
              std::shared_ptr<ChecksumSink> sink);

} // namespace verify
