#pragma once
// A disc's table of contents as the checks need it, and the ids drawn from
// it: MusicBrainz's disc id and the freedb id (through libdiscid), and
// AccurateRip's two ids, its CDDB id and the name of its database file.
//
// Sectors are numbered as the drive's table numbers them: the first track of
// an ordinary disc starts at sector 0 (MSF 00:02:00).

#include "cd/akrip32.h"
#include "verify/Checksums.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace verify {

// An Enhanced CD's data track lies this many sectors after the end of its
// audio: the first session's lead-out and the second's lead-in and pregap.
constexpr std::int32_t kSessionGap = 11400;

struct TocTrack {
    int number = 0;
    std::int32_t start = 0; // first sector (INDEX 01)
    bool audio = true;
    std::optional<std::int32_t> pregap; // sectors of gap before start, when known
};

struct DiscToc {
    int first = 1;
    int last = 0;
    std::vector<TocTrack> tracks; // first..last, in order
    std::int32_t leadout = 0;     // the disc's real end
};

// What is wrong with a table ("track 3 starts before track 2"); empty when
// nothing is.
std::string TocProblem(const DiscToc& toc);

// The table of the drive library's TOC record.
DiscToc TocFromDrive(const akrip::TOC& toc);

// Audio tracks followed by data tracks only (at least one of each).
bool IsEnhancedCd(const DiscToc& toc);
int AudioTrackCount(const DiscToc& toc);

struct SectorRange {
    std::int32_t start = 0;
    std::int32_t end = 0; // one past the last
};
// The sectors of an audio track: up to the next track, or for the last audio
// track of an Enhanced CD up to kSessionGap sectors before the data track.
// Nothing for a data track or a number not on the disc.
std::optional<SectorRange> AudioTrackSectors(const DiscToc& toc, int number);
// Whether an audio track is the disc's first or last audio track.
TrackPlace PlaceOf(const DiscToc& toc, int number);

struct DiscIds {
    std::string musicBrainz; // 28 characters
    std::string freedb;      // libdiscid's: the audio session only
    int arTracks = 0;        // audio tracks
    std::uint32_t arId1 = 0;
    std::uint32_t arId2 = 0;
    std::uint32_t arCddb = 0; // every track, data tracks too, to the real end
    // "a/b/c/dBAR-NNN-id1-id2-cddb.bin", a/b/c the last three hex digits of
    // id1, last first.
    std::string arFileName;
    // "NNN-id1-id2-cddb", as rip logs show it.
    std::string ArText() const;
};

// Nothing, with error set, for a table TocProblem finds fault with, one
// without audio tracks, or one libdiscid refuses.
std::optional<DiscIds> ComputeDiscIds(const DiscToc& toc, std::string& error);

} // namespace verify
