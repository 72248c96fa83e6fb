#pragma once
// What a track's file says about itself: its title, artist, album and place
// on the disc, as an ID3v2.4 tag before the MP3 frames or as FLAC's Vorbis
// comments. Our own small writer: the tag is a few frames of UTF-8 text.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ripengine {

struct TrackTags {
    QString title; // empty fields are left out
    QString artist;
    QString album;
    int number = 0; // the track's number on the disc, written "number/total"
    int total = 0;
};

// "ID3", version 2.4, then TIT2, TPE1, TALB and TRCK frames, UTF-8 text
// (encoding 3) and syncsafe sizes; no padding, so the first MP3 frame follows.
QByteArray Id3v24Tag(const TrackTags& tags);

// "TITLE=...", "ARTIST=...", "ALBUM=...", "TRACKNUMBER=n/total".
QStringList VorbisComments(const TrackTags& tags);

} // namespace ripengine
