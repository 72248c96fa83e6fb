#include "rip/DiscListing.h"

#include "cd/modAKRip32.h"

namespace ripcli {
namespace {

constexpr std::uint8_t kDataTrack = 0x04; // control bit of a table entry

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray JsonString(const QString& text) {
    QByteArray out("\"");
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += QByteArray("\\u00") + QByteArray::number(byte, 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    return out + '"';
}

void AppendField(QByteArray& out, const char* key, const QByteArray& value) {
    if (out.size() > 1)
        out += ", ";
    out += '"';
    out += key;
    out += "\": ";
    out += value;
}

void AppendText(QByteArray& out, const char* key, const QString& text) {
    if (!text.isEmpty())
        AppendField(out, key, JsonString(text));
}

} // namespace

DiscListing MakeListing(const akrip::TOC& toc, const akrip::DiscText& text) {
    DiscListing disc;
    disc.title = FromUtf8(text.title);
    disc.performer = FromUtf8(text.performer);
    const int count = modAKRip32::TrackCount(toc);
    for (int k = 1; k <= count; ++k) {
        const akrip::TOCTRACK& entry = toc.tracks[k - 1];
        ListedTrack t;
        t.number = entry.trackNumber;
        t.start = modAKRip32::TrackStart(toc, k);
        t.length = modAKRip32::TrackStart(toc, k + 1) - t.start;
        t.audio = (entry.ADR & kDataTrack) == 0;
        if (static_cast<std::size_t>(k - 1) < text.tracks.size()) {
            const akrip::TrackText& words = text.tracks[static_cast<std::size_t>(k - 1)];
            t.title = FromUtf8(words.title);
            t.performer = FromUtf8(words.performer);
        }
        disc.tracks.push_back(t);
    }
    return disc;
}

QString ListingText(const DiscListing& disc) {
    QString out;
    if (!disc.title.isEmpty())
        out += QStringLiteral("Title: ") + disc.title + u'\n';
    if (!disc.performer.isEmpty())
        out += QStringLiteral("Performer: ") + disc.performer + u'\n';
    for (const ListedTrack& t : disc.tracks) {
        QString line = QStringLiteral("%1  %2  %3")
                           .arg(t.number, 2)
                           .arg(SectorTime(t.start), 8)
                           .arg(SectorTime(t.length), 8);
        if (!t.audio)
            line += QStringLiteral("  (data)");
        if (!t.title.isEmpty())
            line += QStringLiteral("  ") + t.title;
        if (!t.performer.isEmpty())
            line += (t.title.isEmpty() ? QStringLiteral("  (") : QStringLiteral(" (")) +
                    t.performer + u')';
        out += line + u'\n';
    }
    return out;
}

QByteArray ListingJson(const DiscListing& disc, const QString& source) {
    QByteArray out("{");
    if (source.isEmpty())
        AppendField(out, "source", "null");
    else
        AppendText(out, "source", source);
    AppendText(out, "title", disc.title);
    AppendText(out, "performer", disc.performer);
    QByteArray tracks("[");
    for (const ListedTrack& t : disc.tracks) {
        QByteArray track("{");
        AppendField(track, "number", QByteArray::number(t.number));
        AppendField(track, "start", QByteArray::number(t.start));
        AppendField(track, "length", QByteArray::number(t.length));
        AppendField(track, "audio", t.audio ? "true" : "false");
        AppendText(track, "title", t.title);
        AppendText(track, "performer", t.performer);
        tracks += (tracks.size() > 1 ? ", " : "") + track + '}';
    }
    AppendField(out, "tracks", tracks + ']');
    return out + "}\n";
}

} // namespace ripcli
