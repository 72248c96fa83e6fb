#pragma once
// --lookup: a disc's names, tags and front cover from MusicBrainz and the
// Cover Art Archive. A lookup that fails never fails the run: one line says
// why, and the tracks keep the names they would have had.

#include "cd/DiscInfo.h"
#include "names/NameLookup.h"
#include "rip/DiscListing.h"
#include "rip/ProgressPrinter.h"
#include "rip/RipOptions.h"
#include "rip/TrackPlan.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace ripcli {

// The services' addresses: --musicbrainz-url and --coverart-url, else
// MusicBrainzUrl= and CoverArtUrl= in the [Settings] of Dorvane.ini, else
// the services' own.
names::LookupOptions LookupSettings(const RipOptions& options);

struct DiscLookup {
    names::LookupResult result;
    // The release taken: --release's, else the first in MusicBrainz's order;
    // nothing when none names the disc.
    std::optional<names::ReleaseNames> release;
};

// Asks for the disc's releases; says on printer why none is taken, or which
// one is when several hold the disc and none was picked (the others listed
// with their ids).
DiscLookup LookUpNames(const RipOptions& options, const verify::DiscToc& toc,
                       ProgressPrinter& printer);

// The release's names over the disc's: album, album artist, each track's
// title and artist, the date, the disc's place in its set and the barcode.
// Where the release has no title for a track, it keeps the disc's with
// titles, and none without.
void ApplyRelease(const names::ReleaseNames& release, bool titles, DiscListing& listing,
                  akrip::DiscText& text);

// The releases found, for --list: a line each with its id, then its tracks.
QString ReleasesText(const DiscLookup& lookup);

// {"status": "found" | "not_found" | "failed", "error": …, "by_toc": …,
// "release": the id taken, "releases": [{…}, …]} (README, "JSON").
QByteArray ReleasesJson(const DiscLookup& lookup);

// cover.jpg (or .png) in folder from the Cover Art Archive; a file already
// there is kept unless overwrite. Says what failed on printer, never fails.
names::CoverResult SaveCover(const names::ReleaseNames& release,
                             const names::LookupOptions& options, const QString& folder,
                             bool overwrite, ProgressPrinter& printer);

// The release's MusicBrainz ids, the disc's id and the cover (when found) in
// the planned track's tags.
void TagFromRelease(const names::ReleaseNames& release, const std::string& discId,
                    const names::CoverResult& cover, PlannedTrack& track);

} // namespace ripcli
