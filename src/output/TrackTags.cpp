#include "output/TrackTags.h"

#include <cstdint>

namespace ripengine {
namespace {

// ID3v2.4 sizes are 28-bit numbers spread over four bytes of 7 bits each, so
// no size byte can look like the start of an MP3 frame.
void AppendSyncsafe(QByteArray& out, std::uint32_t value) {
    for (int shift = 21; shift >= 0; shift -= 7)
        out.append(static_cast<char>((value >> shift) & 0x7F));
}

void AppendTextFrame(QByteArray& out, const char* id, const QString& text) {
    if (text.isEmpty())
        return;
    const QByteArray utf8 = text.toUtf8();
    out.append(id, 4);
    AppendSyncsafe(out, static_cast<std::uint32_t>(utf8.size() + 1));
    out.append(2, '\0'); // frame flags
    out.append('\x03');  // UTF-8
    out.append(utf8);
}

QString TrackText(const TrackTags& tags) {
    if (tags.number <= 0)
        return {};
    const QString number = QString::number(tags.number);
    return tags.total > 0 ? number + u'/' + QString::number(tags.total) : number;
}

} // namespace

QByteArray Id3v24Tag(const TrackTags& tags) {
    QByteArray frames;
    AppendTextFrame(frames, "TIT2", tags.title);
    AppendTextFrame(frames, "TPE1", tags.artist);
    AppendTextFrame(frames, "TALB", tags.album);
    AppendTextFrame(frames, "TRCK", TrackText(tags));
    if (frames.isEmpty())
        return {};
    QByteArray tag("ID3\x04\x00\x00", 6); // version 2.4.0, no flags
    AppendSyncsafe(tag, static_cast<std::uint32_t>(frames.size()));
    return tag + frames;
}

QStringList VorbisComments(const TrackTags& tags) {
    QStringList comments;
    const auto add = [&comments](const char* field, const QString& value) {
        if (!value.isEmpty())
            comments << QLatin1String(field) + u'=' + value;
    };
    add("TITLE", tags.title);
    add("ARTIST", tags.artist);
    add("ALBUM", tags.album);
    add("TRACKNUMBER", TrackText(tags));
    return comments;
}

} // namespace ripengine
