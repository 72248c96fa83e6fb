#pragma once
// What a track's file says about itself: its title, artist, album, its place
// on the disc and in a set of discs, and what the disc tells of it (date,
// genre, recording code), as an ID3v2.4 tag before the MP3 frames or as
// FLAC's Vorbis comments.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ripengine {

struct TrackTags {
    QString title; // empty fields and zero numbers are left out
    QString artist;
    QString album;
    int number = 0; // the track's number on the disc
    int total = 0;  // the disc's last track number
    QString albumArtist{};
    int disc = 0; // the disc's number in its set
    int discTotal = 0;
    QString date{}; // as the disc gives it: "1998", "1998-05-21"
    QString genre{};
    QString isrc{};    // the track's recording code, CCOOOYYSSSSS
    QString barcode{}; // the disc's catalog number (UPC/EAN)
    // From MusicBrainz: the release, the recording, the track's artist and
    // the disc id, in the fields other taggers read.
    QString musicBrainzAlbumId{};
    QString musicBrainzTrackId{};
    QString musicBrainzArtistId{};
    QString musicBrainzDiscId{};
    // The front cover (JPEG or PNG bytes and their MIME type), embedded.
    QByteArray cover{};
    QString coverMime{};
};

// An ID3v2.4 tag rendered by TagLib, UTF-8 text: TIT2, TPE1, TPE2, TALB,
// TRCK ("number/total"), TPOS ("disc/total"), TDRC, TCON, TSRC and a TXXX
// frame BARCODE, the MusicBrainz ids (TXXX "MusicBrainz Album Id", "...
// Artist Id", "... Disc Id" and a UFID for the recording), the front cover
// (APIC), and TagLib's padding, which lets a tagger edit the tag in
// place. Empty when there is nothing to say.
QByteArray Id3v24Tag(const TrackTags& tags);

// "TITLE=...", "ARTIST=...", "ALBUMARTIST=...", "ALBUM=...", "TRACKNUMBER=n",
// "TRACKTOTAL=...", "DISCNUMBER=...", "DISCTOTAL=...", "DATE=...",
// "GENRE=...", "ISRC=...", "BARCODE=...", "MUSICBRAINZ_ALBUMID=...",
// "MUSICBRAINZ_TRACKID=...", "MUSICBRAINZ_ARTISTID=...",
// "MUSICBRAINZ_DISCID=..." (the cover goes into a FLAC picture block).
QStringList VorbisComments(const TrackTags& tags);

} // namespace ripengine
