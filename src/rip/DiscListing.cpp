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

namespace {

QByteArray Hex(std::uint32_t value) {
    return JsonString(QString::fromStdString(verify::Hex8(value)));
}

QByteArray Utf8(const std::string& text) {
    return JsonString(QString::fromStdString(text));
}

QByteArray IdsJson(const verify::DiscIds& ids) {
    QByteArray ar("{");
    AppendField(ar, "tracks", QByteArray::number(ids.arTracks));
    AppendField(ar, "id1", Hex(ids.arId1));
    AppendField(ar, "id2", Hex(ids.arId2));
    AppendField(ar, "cddb", Hex(ids.arCddb));
    AppendField(ar, "file", Utf8(ids.arFileName));
    QByteArray out("{");
    AppendField(out, "musicbrainz", Utf8(ids.musicBrainz));
    AppendField(out, "freedb", Utf8(ids.freedb));
    AppendField(out, "accuraterip", ar + '}');
    return out + '}';
}

const char* StatusName(ArLookup::Status status) {
    switch (status) {
    case ArLookup::Status::Found:
        return "\"found\"";
    case ArLookup::Status::NotInDatabase:
        return "\"not_in_database\"";
    case ArLookup::Status::Failed:
        return "\"failed\"";
    case ArLookup::Status::NotAsked:
        break;
    }
    return "\"not_asked\"";
}

QByteArray LookupJson(const DiscReport& report) {
    QByteArray out("{");
    AppendField(out, "status", StatusName(report.lookup.status));
    if (!report.lookup.from.empty())
        AppendField(out, "from", Utf8(report.lookup.from));
    if (!report.lookup.text.empty())
        AppendField(out, "text", Utf8(report.lookup.text));
    if (report.verdict) {
        AppendField(out, "summary", Utf8(report.verdict->Summary()));
        if (report.verdict->ripOffset)
            AppendField(out, "rip_offset", QByteArray::number(*report.verdict->ripOffset));
    }
    AppendField(out, "all_accurate", AllAccurate(report) ? "true" : "false");
    return out + '}';
}

const char* VerdictName(verify::TrackVerdict::Status status) {
    switch (status) {
    case verify::TrackVerdict::Status::Accurate:
        return "\"accurate\"";
    case verify::TrackVerdict::Status::NotAccurate:
        return "\"not_accurate\"";
    case verify::TrackVerdict::Status::NotInDatabase:
        return "\"not_in_database\"";
    case verify::TrackVerdict::Status::NotChecked:
        break;
    }
    return "\"not_checked\"";
}

void AppendTrackReport(QByteArray& track, const TrackReport& t) {
    if (!t.fileName.isEmpty())
        AppendText(track, "file", t.fileName);
    AppendField(track, "outcome", Utf8(t.outcome));
    AppendField(track, "complete", t.sums.Complete() ? "true" : "false");
    QByteArray sums("{");
    AppendField(sums, "crc32", Hex(t.sums.crc32));
    AppendField(sums, "crc32_without_nulls", Hex(t.sums.crc32NoNulls));
    AppendField(sums, "accuraterip_v1", Hex(t.sums.arV1));
    AppendField(sums, "accuraterip_v2", Hex(t.sums.arV2));
    if (t.sums.hasSector450)
        AppendField(sums, "accuraterip_sector450", Hex(t.sums.arSector450));
    AppendField(track, "checksums", sums + '}');
    QByteArray ar("{");
    const verify::TrackVerdict none{};
    const verify::TrackVerdict& v = t.verdict ? *t.verdict : none;
    AppendField(ar, "verdict", VerdictName(v.status));
    AppendField(ar, "text", Utf8(t.verdict ? v.Text() : std::string("not checked")));
    if (v.status == verify::TrackVerdict::Status::Accurate) {
        AppendField(ar, "confidence", QByteArray::number(v.confidence));
        AppendField(ar, "version", v.v2 ? "2" : "1");
        AppendField(ar, "offset", QByteArray::number(v.offset));
    }
    if (t.verdict)
        AppendField(ar, "entries", QByteArray::number(v.entries));
    AppendField(track, "accuraterip", ar + '}');
}

} // namespace

QByteArray ListingJson(const DiscListing& disc, const QString& source, const DiscReport* report,
                       const QByteArray& musicBrainz) {
    QByteArray out("{");
    if (source.isEmpty())
        AppendField(out, "source", "null");
    else
        AppendText(out, "source", source);
    AppendText(out, "title", disc.title);
    AppendText(out, "performer", disc.performer);
    if (report && report->ids)
        AppendField(out, "ids", IdsJson(*report->ids));
    if (report && !report->tracks.empty())
        AppendField(out, "accuraterip", LookupJson(*report));
    if (!musicBrainz.isEmpty())
        AppendField(out, "musicbrainz", musicBrainz);
    if (report)
        AppendText(out, "log", report->logFile);
    QByteArray tracks("[");
    for (const ListedTrack& t : disc.tracks) {
        QByteArray track("{");
        AppendField(track, "number", QByteArray::number(t.number));
        AppendField(track, "start", QByteArray::number(t.start));
        AppendField(track, "length", QByteArray::number(t.length));
        AppendField(track, "audio", t.audio ? "true" : "false");
        AppendText(track, "title", t.title);
        AppendText(track, "performer", t.performer);
        if (report)
            for (const TrackReport& r : report->tracks)
                if (r.number == t.number)
                    AppendTrackReport(track, r);
        tracks += (tracks.size() > 1 ? ", " : "") + track + '}';
    }
    AppendField(out, "tracks", tracks + ']');
    return out + "}\n";
}

} // namespace ripcli
