#pragma once
// A disc's table of contents as the command line lists it, with the titles
// the disc carries.

#include "cd/DiscInfo.h"
#include "cd/akrip32.h"
#include "engine/RunMessages.h"
#include "rip/RipCheck.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace ripcli {

struct ListedTrack {
    int number = 0;         // on the disc
    std::int32_t start = 0; // sectors
    std::int32_t length = 0;
    bool audio = true;
    QString title; // empty when the disc gives none
    QString performer;
};

struct DiscListing {
    QString title;
    QString performer;
    std::vector<ListedTrack> tracks; // in disc order
};

DiscListing MakeListing(const akrip::TOC& toc, const akrip::DiscText& text);

// sectors as m:ss.ff, ff counting the 75 sectors of a second.
using trackrun::SectorTime;

// One track a line: number, start, length, then title and (performer) where
// known; the disc's title and performer first when known.
QString ListingText(const DiscListing& disc);

// {"source":…, "title":…, "performer":…, "ids":{…}, "accuraterip":{…},
// "tracks":[{"number":1, "start":0, "length":40, "audio":true, "title":…,
// "performer":…, "file":…, "outcome":…, "checksums":{…}, "accuraterip":{…}},
// …]} on one line, start and length in sectors; source is the path as given
// (null for the saved drive); titles and performers only where known; ids,
// checksums and verdicts from report where it has them (README, "JSON");
// musicBrainz, when given, is what --lookup found, as an object.
QByteArray ListingJson(const DiscListing& disc, const QString& source = {},
                       const DiscReport* report = nullptr, const QByteArray& musicBrainz = {});

} // namespace ripcli
