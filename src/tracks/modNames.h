#pragma once
// Track names and their parts. A name is either full, "Title NN - PFX"
// ("Track 01 - CD1"), while Track no/prefix is on, or a bare "Title". The
// parts are found by cutting the name at separators, so a title holding a
// space or a hyphen reads oddly; renaming keeps working with what it reads.

#include <QString>

namespace modNames {

inline const QString kNoTracksMessage =
    QStringLiteral("Cannot change this option because there are no tracks in the list");
inline const QString kCannotExcludeMessage =
    QStringLiteral("Track number and prefix cannot be excluded until tracks are re-named");

// The first word: "Track 01 - CD1" -> "Track".
QString TitleFromName(const QString& name);
// The word whose position equals the number of hyphens in the name:
// "Track 01 - CD1" -> "01", a bare "Intro" -> "Intro". Empty when there is no
// such word.
QString TrackNoFromName(const QString& name);
// What follows the last " -": "Track 01 - CD1" -> " CD1", space included.
QString PrefixFromName(const QString& name);
// What follows the last "/": "/music/a.wav" -> "a.wav".
QString FileNameFromPath(const QString& path);

// The name a freshly read disc gives track trackNumber: "Track 01 - CD1".
QString DefaultTrackName(int trackNumber);
// "title trackNo - prefix".
QString ComposeName(const QString& title, const QString& trackNo, const QString& prefix);

// Switching Track no/prefix off is refused while the first two tracks still
// carry their default names (a missing item is passed as empty text).
bool ExcludeRefused(const QString& item0, const QString& item1);
// A name once the option is switched off.
QString BareName(const QString& name);
// A name once the option is switched on again: index counts from 0, the
// number is written without leading zeros.
QString NumberedName(const QString& text, int index);

} // namespace modNames
