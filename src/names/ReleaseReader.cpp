#include "names/ReleaseReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdlib>
#include <limits>
#include <optional>

namespace names {
namespace {

// MSF 00:02:00: where the table's sector 0 lies, as the service counts.
constexpr std::int32_t kLeadIn = 150;

QString Clean(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    return text;
}

// A string member, cleaned; empty when missing, null or not a string.
QString Text(const QJsonObject& object, const char* key) {
    return Clean(object.value(QLatin1String(key)).toString());
}

struct Credit {
    QString text;
    QStringList artistIds;
};

// "A feat. B & C": each credited name followed by its join phrase.
Credit CreditOf(const QJsonValue& value) {
    Credit credit;
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonObject part = entry.toObject();
        const QJsonObject artist = part.value(QLatin1String("artist")).toObject();
        QString name = Text(part, "name");
        if (name.isEmpty())
            name = Text(artist, "name");
        credit.text += name + Text(part, "joinphrase");
        const QString id = Text(artist, "id");
        if (!id.isEmpty())
            credit.artistIds.push_back(id);
    }
    return credit;
}

int MsOfSectors(std::int32_t sectors) {
    return int(std::int64_t(sectors) * 1000 / 75);
}

// How far a medium's tracks lie from the disc's, summed in milliseconds;
// nothing when the counts differ or a track lies past the tolerance. Tracks
// whose length MusicBrainz does not know count as matching.
std::optional<long long> Distance(const QJsonArray& tracks, const DiscShape& disc) {
    if (tracks.size() != qsizetype(disc.lengths.size()))
        return std::nullopt;
    long long sum = 0;
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const QJsonValue length = tracks[i].toObject().value(QLatin1String("length"));
        if (!length.isDouble())
            continue;
        const long long d = std::llabs(length.toInteger() - MsOfSectors(disc.lengths[i]));
        if (d > kLengthToleranceMs)
            return std::nullopt;
        sum += d;
    }
    return sum;
}

bool ListsDisc(const QJsonObject& medium, const QString& discId) {
    for (const QJsonValue& disc : medium.value(QLatin1String("discs")).toArray())
        if (disc.toObject().value(QLatin1String("id")).toString() == discId)
            return true;
    return false;
}

// The index of the medium whose tracks match the disc best; -1 when none.
qsizetype ClosestMedium(const QJsonArray& media, const DiscShape& disc) {
    qsizetype best = -1;
    long long bestDistance = std::numeric_limits<long long>::max();
    for (qsizetype i = 0; i < media.size(); ++i) {
        const auto d = Distance(media[i].toObject().value(QLatin1String("tracks")).toArray(), disc);
        if (d && *d < bestDistance) {
            best = i;
            bestDistance = *d;
        }
    }
    return best;
}

QString Quoted(const QString& text) {
    return u'"' + text + u'"';
}

// The names of one release, or why it cannot give this disc's.
std::optional<ReleaseNames> ReadRelease(const QJsonObject& release, const DiscShape& disc,
                                        bool byToc, QString& why) {
    ReleaseNames r;
    r.releaseId = Text(release, "id");
    r.title = Text(release, "title");
    const QString name = r.title.isEmpty() ? QStringLiteral("a release without a title")
                                           : QStringLiteral("release ") + Quoted(r.title);
    if (r.releaseId.isEmpty() || r.title.isEmpty()) {
        why = name + QStringLiteral(" has no id or no title");
        return std::nullopt;
    }
    const QJsonArray media = release.value(QLatin1String("media")).toArray();
    const qsizetype discCount = qsizetype(disc.lengths.size());
    qsizetype chosen = -1;
    if (!byToc) {
        for (qsizetype i = 0; i < media.size() && chosen < 0; ++i)
            if (ListsDisc(media[i].toObject(), QString::fromStdString(disc.discId)))
                chosen = i;
    }
    if (chosen < 0)
        chosen = ClosestMedium(media, disc);
    if (chosen < 0) {
        QStringList counts;
        for (const QJsonValue& m : media)
            counts << QString::number(m.toObject().value(QLatin1String("tracks")).toArray().size());
        why = name + QStringLiteral(" has no medium with the disc's %1 tracks").arg(discCount) +
              (counts.isEmpty()
                   ? QStringLiteral(" (it lists no media)")
                   : QStringLiteral(" (its media hold %1)").arg(counts.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    const QJsonObject medium = media[chosen].toObject();
    const QJsonArray tracks = medium.value(QLatin1String("tracks")).toArray();
    r.mediumPosition = medium.value(QLatin1String("position")).toInt(int(chosen) + 1);
    r.mediumCount = int(media.size());
    if (tracks.size() < discCount) {
        why = name + QStringLiteral(": its medium %1 lists %2 tracks, the disc has %3")
                         .arg(r.mediumPosition)
                         .arg(tracks.size())
                         .arg(discCount);
        return std::nullopt;
    }
    r.mediumTitle = Text(medium, "title");
    r.mediumFormat = Text(medium, "format");

    const Credit artist = CreditOf(release.value(QLatin1String("artist-credit")));
    r.artist = artist.text;
    r.artistIds = artist.artistIds;
    r.date = Text(release, "date");
    r.country = Text(release, "country");
    r.barcode = Text(release, "barcode");
    for (const QJsonValue& entry : release.value(QLatin1String("label-info")).toArray()) {
        const QJsonObject info = entry.toObject();
        if (r.label.isEmpty())
            r.label = Text(info.value(QLatin1String("label")).toObject(), "name");
        if (r.catalogNumber.isEmpty())
            r.catalogNumber = Text(info, "catalog-number");
    }
    r.frontCover = release.value(QLatin1String("cover-art-archive"))
                       .toObject()
                       .value(QLatin1String("front"))
                       .toBool();

    for (qsizetype i = 0; i < discCount; ++i) {
        const QJsonObject track = tracks[i].toObject();
        const QJsonObject recording = track.value(QLatin1String("recording")).toObject();
        TrackNames t;
        t.number = disc.first + int(i);
        t.position = track.value(QLatin1String("position")).toInt(int(i) + 1);
        t.title = Text(track, "title");
        if (t.title.isEmpty())
            t.title = Text(recording, "title");
        // A track's own credit, else its recording's, else the release's.
        Credit credit = CreditOf(track.value(QLatin1String("artist-credit")));
        if (credit.text.isEmpty())
            credit = CreditOf(recording.value(QLatin1String("artist-credit")));
        if (credit.text.isEmpty())
            credit = artist;
        t.artist = credit.text;
        t.artistIds = credit.artistIds;
        t.recordingId = Text(recording, "id");
        t.trackId = Text(track, "id");
        const QJsonValue length = track.value(QLatin1String("length"));
        const QJsonValue recordingLength = recording.value(QLatin1String("length"));
        t.lengthMs = length.isDouble()            ? length.toInt()
                     : recordingLength.isDouble() ? recordingLength.toInt()
                                                  : 0;
        r.tracks.push_back(std::move(t));
    }
    return r;
}

} // namespace

std::optional<DiscShape> ShapeOf(const verify::DiscToc& toc, const std::string& discId,
                                 std::string& error) {
    error = verify::TocProblem(toc);
    if (!error.empty())
        return std::nullopt;
    if (verify::AudioTrackCount(toc) == 0) {
        error = "the disc holds no audio track";
        return std::nullopt;
    }
    // The tracks the disc id counts, as verify::ComputeDiscIds gives them to
    // libdiscid: an Enhanced CD's audio session ends kSessionGap sectors
    // before its data track.
    int last = toc.last;
    std::int32_t end = toc.leadout;
    if (verify::IsEnhancedCd(toc)) {
        while (!toc.tracks[std::size_t(last - toc.first)].audio)
            --last;
        end = verify::AudioTrackSectors(toc, last)->end;
    }
    DiscShape shape;
    shape.discId = discId;
    shape.first = toc.first;
    shape.toc = std::to_string(toc.first) + '+' + std::to_string(last) + '+' +
                std::to_string(end + kLeadIn);
    for (int n = toc.first; n <= last; ++n) {
        const std::int32_t start = toc.tracks[std::size_t(n - toc.first)].start;
        const std::int32_t next = n < last ? toc.tracks[std::size_t(n + 1 - toc.first)].start : end;
        shape.lengths.push_back(next - start);
        shape.toc += '+' + std::to_string(start + kLeadIn);
    }
    return shape;
}

ReadResult ReadReleases(const QByteArray& json, const DiscShape& disc, bool byToc) {
    ReadResult result;
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("the answer is not JSON (%1 at byte %2)")
                           .arg(parse.errorString())
                           .arg(parse.offset);
        return result;
    }
    const QJsonValue releases = document.object().value(QLatin1String("releases"));
    if (!document.isObject() || !releases.isArray()) {
        result.error = QStringLiteral("the answer holds no list of releases");
        return result;
    }
    for (const QJsonValue& entry : releases.toArray()) {
        QString why;
        if (!entry.isObject())
            result.skipped << QStringLiteral("an entry of the release list is not a release");
        else if (auto names = ReadRelease(entry.toObject(), disc, byToc, why))
            result.releases.push_back(std::move(*names));
        else
            result.skipped << why;
    }
    return result;
}

} // namespace names
