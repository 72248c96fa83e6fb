#include "rip/Lookup.h"

#include "general/modFiles.h"
#include "settings/modSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <sys/stat.h>

#include <algorithm>

namespace ripcli {
namespace {

const QString kCoverArtUrlKey = QStringLiteral("CoverArtUrl");

QString Setting(const QString& key) {
    return modSettings::ReadSetting(modSettings::kSection, key, {}).trimmed();
}

QString Said(const QString& text) {
    return QStringLiteral("dorvane-rip: ") + text;
}

// "Artist - Title (1998-03-27, GB, Virgin CDV 2843, disc 1 of 2)"
QString Describe(const names::ReleaseNames& r) {
    QStringList details;
    for (const QString& d : {r.date, r.country, (r.label + u' ' + r.catalogNumber).trimmed()})
        if (!d.isEmpty())
            details << d;
    if (r.mediumCount > 1)
        details << QStringLiteral("disc %1 of %2").arg(r.mediumPosition).arg(r.mediumCount);
    QString text = r.artist.isEmpty() ? r.title : r.artist + QStringLiteral(" - ") + r.title;
    if (!details.isEmpty())
        text += QStringLiteral(" (") + details.join(QStringLiteral(", ")) + u')';
    return Printable(text);
}

QJsonArray Strings(const QStringList& list) {
    return QJsonArray::fromStringList(list);
}

// Members with nothing to say are left out, as in the rest of the JSON.
void Put(QJsonObject& o, const char* key, const QString& value) {
    if (!value.isEmpty())
        o.insert(QLatin1String(key), value);
}

QJsonObject ReleaseJson(const names::ReleaseNames& r) {
    QJsonObject o;
    Put(o, "id", r.releaseId);
    Put(o, "title", r.title);
    Put(o, "artist", r.artist);
    o.insert(u"artist_ids", Strings(r.artistIds));
    Put(o, "date", r.date);
    Put(o, "country", r.country);
    Put(o, "label", r.label);
    Put(o, "catalog_number", r.catalogNumber);
    Put(o, "barcode", r.barcode);
    o.insert(u"disc", r.mediumPosition);
    o.insert(u"discs", r.mediumCount);
    Put(o, "disc_title", r.mediumTitle);
    o.insert(u"front_cover", r.frontCover);
    QJsonArray tracks;
    for (const names::TrackNames& t : r.tracks) {
        QJsonObject track;
        track.insert(u"number", t.number);
        Put(track, "title", t.title);
        Put(track, "artist", t.artist);
        track.insert(u"artist_ids", Strings(t.artistIds));
        Put(track, "recording_id", t.recordingId);
        Put(track, "track_id", t.trackId);
        if (t.lengthMs > 0)
            track.insert(u"length_ms", t.lengthMs);
        tracks.append(track);
    }
    o.insert(u"tracks", tracks);
    return o;
}

} // namespace

names::LookupOptions LookupSettings(const RipOptions& options) {
    names::LookupOptions o;
    const QString musicBrainz =
        options.musicBrainzUrl.value_or(Setting(modSettings::kMusicBrainzUrl));
    const QString coverArt = options.coverArtUrl.value_or(Setting(kCoverArtUrlKey));
    if (!musicBrainz.isEmpty())
        o.musicBrainzUrl = musicBrainz;
    if (!coverArt.isEmpty())
        o.coverArtUrl = coverArt;
    return o;
}

DiscLookup LookUpNames(const RipOptions& options, const verify::DiscToc& toc,
                       ProgressPrinter& printer) {
    DiscLookup lookup;
    lookup.result = names::LookUpDisc(toc, LookupSettings(options));
    const names::LookupResult& r = lookup.result;
    const QString keep = QStringLiteral("; the tracks keep their names");
    if (r.status == names::LookupResult::Status::NotFound) {
        printer.Note(QStringLiteral("MusicBrainz: the disc is not known") + keep);
        return lookup;
    }
    if (r.status == names::LookupResult::Status::Failed || r.releases.empty()) {
        printer.Error(Said(Printable(r.error) + keep));
        return lookup;
    }
    if (options.release) {
        const auto picked =
            std::find_if(r.releases.begin(), r.releases.end(), [&](const names::ReleaseNames& n) {
                return n.releaseId.compare(*options.release, Qt::CaseInsensitive) == 0;
            });
        if (picked == r.releases.end()) {
            QStringList ids;
            for (const names::ReleaseNames& n : r.releases)
                ids << n.releaseId;
            printer.Error(
                Said(QStringLiteral("MusicBrainz: release %1 does not hold the disc (%2 do)")
                         .arg(*options.release, ids.join(QStringLiteral(", "))) +
                     keep));
            return lookup;
        }
        lookup.release = *picked;
    } else {
        lookup.release = r.releases.front();
    }
    if (r.releases.size() > 1 && !options.release && !options.list) {
        printer.Note(QStringLiteral("MusicBrainz: %1 releases hold the disc; taking %2 %3, "
                                    "--release picks another:")
                         .arg(r.releases.size())
                         .arg(lookup.release->releaseId, Describe(*lookup.release)));
        for (std::size_t i = 1; i < r.releases.size(); ++i)
            printer.Note(QStringLiteral("  ") + r.releases[i].releaseId + u' ' +
                         Describe(r.releases[i]));
    }
    return lookup;
}

void ApplyRelease(const names::ReleaseNames& release, bool titles, DiscListing& listing,
                  akrip::DiscText& text) {
    listing.title = release.title;
    listing.performer = release.artist;
    for (ListedTrack& track : listing.tracks) {
        if (!titles)
            track.title.clear();
        const auto named =
            std::find_if(release.tracks.begin(), release.tracks.end(),
                         [&](const names::TrackNames& t) { return t.number == track.number; });
        if (named == release.tracks.end())
            continue;
        if (!named->title.isEmpty())
            track.title = named->title;
        // Only a guest's name is the track's own, as a sheet gives it.
        track.performer = named->artist == release.artist ? QString() : named->artist;
    }
    text.date = release.date.toStdString();
    text.discNumber = release.mediumPosition;
    text.totalDiscs = release.mediumCount;
    if (!release.barcode.isEmpty())
        text.catalog = release.barcode.toStdString();
}

QString ReleasesText(const DiscLookup& lookup) {
    const names::LookupResult& r = lookup.result;
    if (r.status != names::LookupResult::Status::Found)
        return {};
    QString text = r.releases.size() == 1
                       ? QStringLiteral("MusicBrainz: 1 release\n")
                       : QStringLiteral("MusicBrainz: %1 releases\n").arg(r.releases.size());
    for (const names::ReleaseNames& release : r.releases) {
        text += release.releaseId + u' ' + Describe(release) + u'\n';
        for (const names::TrackNames& t : release.tracks) {
            text += QStringLiteral("%1  ").arg(t.number, 2) + Printable(t.title);
            if (t.artist != release.artist && !t.artist.isEmpty())
                text += QStringLiteral(" (") + Printable(t.artist) + u')';
            text += u'\n';
        }
    }
    return text;
}

QByteArray ReleasesJson(const DiscLookup& lookup) {
    const names::LookupResult& r = lookup.result;
    QJsonObject o;
    switch (r.status) {
    case names::LookupResult::Status::Found:
        o.insert(u"status", QStringLiteral("found"));
        break;
    case names::LookupResult::Status::NotFound:
        o.insert(u"status", QStringLiteral("not_found"));
        break;
    case names::LookupResult::Status::Failed:
        o.insert(u"status", QStringLiteral("failed"));
        Put(o, "error", r.error);
        break;
    }
    if (r.status == names::LookupResult::Status::Found) {
        o.insert(u"by_toc", r.byToc);
        if (lookup.release)
            o.insert(u"release", lookup.release->releaseId);
        QJsonArray releases;
        for (const names::ReleaseNames& release : r.releases)
            releases.append(ReleaseJson(release));
        o.insert(u"releases", releases);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

names::CoverResult SaveCover(const names::ReleaseNames& release,
                             const names::LookupOptions& options, const QString& folder,
                             bool overwrite, ProgressPrinter& printer) {
    if (!release.frontCover)
        return {names::CoverResult::Status::NotFound, {}, {}, {}, false};
    const names::CoverResult cover = names::FetchFrontCover(release.releaseId, options);
    if (cover.status == names::CoverResult::Status::NotFound)
        return cover;
    if (cover.status == names::CoverResult::Status::Failed) {
        printer.Error(QStringLiteral("dorvane-rip: ") + Printable(cover.error) +
                      QStringLiteral("; no cover saved"));
        return cover;
    }
    const QString file = (folder.endsWith(u'/') ? folder : folder + u'/') +
                         QStringLiteral("cover.") + cover.extension;
    struct stat st {};
    if (!overwrite && ::lstat(modFiles::PathBytes(file).constData(), &st) == 0) {
        printer.Note(file + QStringLiteral(": already there, kept; --overwrite replaces it"));
        return cover;
    }
    // Written beside its name and landed whole.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(cover.bytes) != cover.bytes.size() ||
        !out.commit())
        printer.Error(QStringLiteral("dorvane-rip: ") + file + QStringLiteral(": ") +
                      out.errorString());
    return cover;
}

void TagFromRelease(const names::ReleaseNames& release, const std::string& discId,
                    const names::CoverResult& cover, PlannedTrack& track) {
    ripengine::TrackTags& tags = track.tags;
    tags.musicBrainzAlbumId = release.releaseId;
    tags.musicBrainzDiscId = QString::fromStdString(discId);
    for (const names::TrackNames& t : release.tracks)
        if (t.number == track.number) {
            tags.musicBrainzTrackId = t.recordingId;
            tags.musicBrainzArtistId = t.artistIds.join(u'/');
        }
    if (cover.status == names::CoverResult::Status::Found) {
        tags.cover = cover.bytes;
        tags.coverMime =
            cover.extension == u"png" ? QStringLiteral("image/png") : QStringLiteral("image/jpeg");
    }
}

} // namespace ripcli
