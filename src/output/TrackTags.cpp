#include "output/TrackTags.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>

namespace ripengine {
namespace {

TagLib::String Utf8(const QString& text) {
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

QString Number(int n) {
    return n > 0 ? QString::number(n) : QString();
}

// "n/total", "n", or nothing without n.
QString OfTotal(int n, int total) {
    return n > 0 && total > 0 ? Number(n) + u'/' + Number(total) : Number(n);
}

void AddText(TagLib::ID3v2::Tag& tag, const char* id, const QString& text) {
    if (text.isEmpty())
        return;
    auto* frame =
        new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id, 4), TagLib::String::UTF8);
    frame->setText(Utf8(text));
    tag.addFrame(frame); // the tag owns its frames and deletes them
}

void AddUserText(TagLib::ID3v2::Tag& tag, const char* description, const QString& text) {
    if (text.isEmpty())
        return;
    tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
        description, TagLib::StringList(Utf8(text)), TagLib::String::UTF8));
}

} // namespace

QByteArray Id3v24Tag(const TrackTags& tags) {
    TagLib::ID3v2::Tag tag; // version 2.4 unless told otherwise
    AddText(tag, "TIT2", tags.title);
    AddText(tag, "TPE1", tags.artist);
    AddText(tag, "TPE2", tags.albumArtist);
    AddText(tag, "TALB", tags.album);
    AddText(tag, "TRCK", OfTotal(tags.number, tags.total));
    AddText(tag, "TPOS", OfTotal(tags.disc, tags.discTotal));
    AddText(tag, "TDRC", tags.date);
    AddText(tag, "TCON", tags.genre);
    AddText(tag, "TSRC", tags.isrc);
    AddUserText(tag, "BARCODE", tags.barcode);
    AddUserText(tag, "MusicBrainz Album Id", tags.musicBrainzAlbumId);
    AddUserText(tag, "MusicBrainz Artist Id", tags.musicBrainzArtistId);
    AddUserText(tag, "MusicBrainz Disc Id", tags.musicBrainzDiscId);
    if (!tags.musicBrainzTrackId.isEmpty())
        tag.addFrame(new TagLib::ID3v2::UniqueFileIdentifierFrame(
            "http://musicbrainz.org",
            TagLib::ByteVector(tags.musicBrainzTrackId.toStdString().c_str())));
    if (!tags.cover.isEmpty()) {
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setTextEncoding(TagLib::String::UTF8);
        picture->setMimeType(Utf8(tags.coverMime));
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setPicture(TagLib::ByteVector(tags.cover.constData(),
                                               static_cast<unsigned int>(tags.cover.size())));
        tag.addFrame(picture);
    }
    if (tag.frameList().isEmpty())
        return {};
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QStringList VorbisComments(const TrackTags& tags) {
    QStringList comments;
    const auto add = [&comments](const char* field, const QString& value) {
        if (!value.isEmpty())
            comments << QLatin1String(field) + u'=' + value;
    };
    add("TITLE", tags.title);
    add("ARTIST", tags.artist);
    add("ALBUMARTIST", tags.albumArtist);
    add("ALBUM", tags.album);
    add("TRACKNUMBER", Number(tags.number));
    add("TRACKTOTAL", Number(tags.total));
    add("DISCNUMBER", Number(tags.disc));
    add("DISCTOTAL", Number(tags.discTotal));
    add("DATE", tags.date);
    add("GENRE", tags.genre);
    add("ISRC", tags.isrc);
    add("BARCODE", tags.barcode);
    add("MUSICBRAINZ_ALBUMID", tags.musicBrainzAlbumId);
    add("MUSICBRAINZ_TRACKID", tags.musicBrainzTrackId);
    add("MUSICBRAINZ_ARTISTID", tags.musicBrainzArtistId);
    add("MUSICBRAINZ_DISCID", tags.musicBrainzDiscId);
    return comments;
}

} // namespace ripengine
