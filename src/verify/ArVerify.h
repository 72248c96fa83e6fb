#pragma once
// AccurateRip's verdict on a rip: each track's checksums against the entries
// of the database's answer for the disc, and, for tracks that match none as
// read, against the same audio at other offsets.

#include "verify/ArResponse.h"
#include "verify/Checksums.h"
#include "verify/DiscToc.h"
#include "verify/OffsetSearch.h"

#include <map>
#include <string>
#include <vector>

namespace verify {

struct TrackVerdict {
    enum class Status {
        Accurate,      // an entry's checksum met, as read or at `offset`
        NotAccurate,   // the database holds the track; no checksum met
        NotInDatabase, // no entry holds the track with confidence above 0
        NotChecked,    // no whole checksums: the track was not ripped, or not to its end
    };
    int track = 0;
    Status status = Status::NotChecked;
    int confidence = 0; // Accurate: the highest confidence of the entries met
    bool v2 = false;    // Accurate: v2 met (else v1)
    int offset = 0;     // Accurate: samples the audio lies later in the rip; 0 as read
    int entries = 0;    // entries holding the track with confidence above 0
    // "accurate (confidence 12, v2)", "accurate at offset +6 (confidence 3,
    // v1)", "not accurate (3 entries)", "not in the database", "not checked".
    std::string Text() const;
};

struct DiscVerdict {
    std::vector<TrackVerdict> tracks; // the audio tracks ripped, in disc order
    int entriesForDisc = 0;
    int entriesIgnored = 0; // entries whose ids are another disc's
    // Every track that was checked met an entry, all at this one offset
    // other than 0: the rip was made this many samples off (its audio lies
    // that much later than the disc's; add it to the read offset).
    std::optional<int> ripOffset;
    std::vector<std::string> notes; // lines worth telling: ignored entries, read faults
    bool AllAccurate() const;
    // "8 of 8 tracks accurate", "rip made +6 samples off: 8 of 8 tracks
    // accurate at offset +6", "disc not in the database".
    std::string Summary() const;
};

// checksums: the checksums of the tracks ripped, by track number, as
// ChecksumSink gave them; incomplete ones are not checked, and tracks not in
// it are no part of the verdict (a rip of some tracks only). entries: the parsed answer; empty
// when the disc is not in the database. audio: where the offset search reads
// the rip; null to check as read only.
DiscVerdict VerifyDisc(const DiscToc& toc, const DiscIds& ids, const std::vector<ArEntry>& entries,
                       const std::map<int, ChecksumResult>& checksums, DiscAudio* audio = nullptr);

} // namespace verify
