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
};

struct PlannedTrack {
    int number = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
    QString fileName; // folder + name + extension
    ripengine::TrackTags tags;
};

// The window's name form, "<title> NN - <prefix>" ("Track 01 - CD1"), or the
// title alone with noNumber. The title is the disc's for the track with
// titles, else "Track".
QString TrackName(const ListedTrack& track, const NameChoices& choices);

struct Plan {
    std::vector<PlannedTrack> tracks;
    QString error; // why the selection cannot be extracted; empty when it can
};

// wanted lists disc numbers (empty: every audio track); folder ends in "/".
// Refuses numbers the disc does not have, data tracks, and two tracks that
// would land in the same file.
Plan PlanTracks(const DiscListing& disc, const std::vector<int>& wanted, const NameChoices& choices,
                const QString& folder, const QString& extension);

// Each source's output folder under base: base itself for a single source,
// else a subfolder named after the image's file name without its extension
// or after the device ("sr0"), with " (2)" and so on when two names meet.
QStringList SourceFolders(const QString& base, const QStringList& sources);

} // namespace ripcli
