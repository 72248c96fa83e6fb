#pragma once
// Which tracks a run extracts, under which file names and with which tags.

#include "output/TrackTags.h"
#include "rip/DiscListing.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace ripcli {

struct NameChoices {
    bool titles = false;           // take titles from the disc
    std::optional<QString> prefix; // nothing: the window's "CD1"
    bool noNumber = false;
    // --name: %n number, %t title, %p performer, %a album, %x prefix, %%
    // a "%"; empty for the window's form.
    QString nameTemplate;
};

struct PlannedTrack {
    int number = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
    QString fileName; // folder + name + extension
    // From the listing, and from the disc's text where it tells more: the
    // album artist, the disc's place in its set, date, genre, ISRC, barcode.
    ripengine::TrackTags tags;
};

// The window's name form, "<title> NN - <prefix>" ("Track 01 - CD1"), the
// title alone with noNumber, or the template's. The title is the disc's for
// the track with titles, else "Track"; album is the disc's title.
QString TrackName(const ListedTrack& track, const NameChoices& choices, const QString& album = {});

struct Plan {
    std::vector<PlannedTrack> tracks;
    QString error; // why the selection cannot be extracted; empty when it can
};

// wanted lists disc numbers (empty: every audio track); folder ends in "/".
// Refuses numbers the disc does not have, data tracks, and two tracks that
// would land in the same file. The last audio track of an Enhanced CD ends
// with its session.
Plan PlanTracks(const DiscListing& disc, const std::vector<int>& wanted, const NameChoices& choices,
                const QString& folder, const QString& extension, const akrip::DiscText& text = {});

// Each source's output folder under base: base itself for a single source,
// else a subfolder named after the image's file name without its extension
// or after the device ("sr0"), with " (2)" and so on when a name was given
// out already, so that no two sources share a folder.
QStringList SourceFolders(const QString& base, const QStringList& sources);

} // namespace ripcli
