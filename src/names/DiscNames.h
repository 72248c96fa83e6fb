#pragma once
// The names MusicBrainz gives a disc: for each release that holds it, the
// release's title, artist, date, country, label, catalogue number and
// barcode, which of its media this disc is, and per track the title and
// artist, with the MusicBrainz ids of the release, recordings and artists.
//
// Text is kept as the service gives it (any script; "/" and ".." included),
// except control characters, which no real title holds and which a terminal
// would obey: each becomes a space. SafeFileName() makes a title fit for a
// file name; tags take the titles as they are here.

#include <QString>
#include <QStringList>

#include <vector>

namespace names {

struct TrackNames {
    int number = 0;   // the track's number on the disc
    int position = 0; // its position on the medium (usually the same)
    QString title;
    QString artist; // the artist credit: names joined by their join phrases
    QStringList artistIds;
    QString recordingId;
    QString trackId;
    int lengthMs = 0; // 0 when MusicBrainz does not know it
};

struct ReleaseNames {
    QString releaseId;
    QString title;
    QString artist; // the release's artist credit
    QStringList artistIds;
    QString date;    // "1998", "1998-03" or "1998-03-27"; empty when unknown
    QString country; // "GB", "XE", ...; empty when unknown
    QString label;   // the first label named, and its catalogue number
    QString catalogNumber;
    QString barcode;
    // The medium that holds this disc: disc mediumPosition of mediumCount.
    int mediumPosition = 1;
    int mediumCount = 1;
    QString mediumTitle; // "Bonus Disc"; mostly empty
    QString mediumFormat;
    bool frontCover = false; // the Cover Art Archive holds a front cover
    // One entry per track of the disc that was looked up, in order.
    std::vector<TrackNames> tracks;
};

// The title made fit for a file name: control characters become spaces, "/"
// becomes "_", spaces at either end go, the name is cut (between characters)
// to at most maxBytes bytes of UTF-8, and it is never empty, "." or "..".
QString SafeFileName(const QString& title, int maxBytes = 180);

} // namespace names
