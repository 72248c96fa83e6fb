#pragma once
// Reading MusicBrainz's JSON answer to a disc lookup (by disc id, or by the
// table of contents) into the names of each release, with the medium that
// holds this disc chosen from among a box set's.

#include "names/DiscNames.h"
#include "verify/DiscToc.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace names {

// The disc as a lookup sees it: the tracks the disc id counts (an Enhanced
// CD's audio session; a mixed-mode CD's data track 1 included), their
// lengths, and the lookup's "toc" parameter.
struct DiscShape {
    std::string discId;
    int first = 1;
    std::vector<std::int32_t> lengths; // sectors of each track, from track `first` on
    std::string toc;                   // "first+last+leadout+offset1+...", offsets from 150
};

// Nothing, with error set, for a table that TocProblem() refuses or that
// holds no audio track.
std::optional<DiscShape> ShapeOf(const verify::DiscToc& toc, const std::string& discId,
                                 std::string& error);

struct ReadResult {
    std::vector<ReleaseNames> releases; // the usable ones, in the answer's order
    QStringList skipped;                // one line per release left out, saying why
    QString error;                      // the answer is no release list at all
};

// byToc: the answer came from a lookup by the table, so a release's medium
// is the one whose track count and lengths match; otherwise it is the one
// whose disc list holds the disc id (or, failing that, matches as above).
ReadResult ReadReleases(const QByteArray& json, const DiscShape& disc, bool byToc);

// A track of the disc and a track of a medium are taken for the same when
// their lengths differ by no more than this.
constexpr int kLengthToleranceMs = 5000;

} // namespace names
