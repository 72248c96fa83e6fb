#include "rip/TrackPlan.h"

#include "extract/modRip.h"
#include "names/DiscNames.h"
#include "tracks/modNames.h"
#include "verify/DiscToc.h"

#include <QFileInfo>

#include <algorithm>
#include <map>
#include <set>

namespace ripcli {

QString TrackName(const ListedTrack& track, const NameChoices& choices, const QString& album) {
    const QString title =
        choices.titles && !track.title.isEmpty() ? track.title : QStringLiteral("Track");
    const QString number = QStringLiteral("%1").arg(track.number, 2, 10, QLatin1Char('0'));
    const QString prefix = choices.prefix.value_or(QStringLiteral("CD1"));
    if (!choices.nameTemplate.isEmpty()) {
        QString name;
        const QString& t = choices.nameTemplate;
        for (qsizetype i = 0; i < t.size(); ++i) {
            if (t[i] != u'%' || i + 1 == t.size()) {
                name += t[i];
                continue;
            }
            switch (t[++i].unicode()) {
            case u'n':
                name += number;
                break;
            case u't':
                name += title;
                break;
            case u'p':
                name += track.performer;
                break;
            case u'a':
                name += album;
                break;
            case u'x':
                name += prefix;
                break;
            case u'%':
                name += u'%';
                break;
            default:
                name += u'%' + t[i];
                break;
            }
        }
        return name;
    }
    if (choices.noNumber)
        return title;
    // An empty prefix leaves no dangling " - ".
    if (prefix.isEmpty())
        return title + u' ' + number;
    return modNames::ComposeName(title, number, prefix);
}

Plan PlanTracks(const DiscListing& disc, const std::vector<int>& wanted, const NameChoices& choices,
                const QString& folder, const QString& extension, const akrip::DiscText& text) {
    Plan plan;
    const auto refuse = [&plan](const QString& why) {
        plan.tracks.clear();
        plan.error = why;
        return plan;
    };
    const auto find = [&disc](int number) {
        return std::find_if(disc.tracks.begin(), disc.tracks.end(),
                            [number](const ListedTrack& t) { return t.number == number; });
    };
    std::vector<int> numbers = wanted;
    if (numbers.empty()) {
        for (const ListedTrack& t : disc.tracks)
            if (t.audio)
                numbers.push_back(t.number);
        if (numbers.empty())
            return refuse(QStringLiteral("the disc holds no audio tracks"));
    }
    const int total = disc.tracks.empty() ? 0 : disc.tracks.back().number;
    std::map<QString, int> taken; // file name -> track
    for (const int number : numbers) {
        const auto track = find(number);
        if (track == disc.tracks.end())
            return refuse(QStringLiteral("the disc has no track %1 (its tracks are %2 to %3)")
                              .arg(number)
                              .arg(disc.tracks.empty() ? 0 : disc.tracks.front().number)
                              .arg(total));
        if (!track->audio)
            return refuse(QStringLiteral("track %1 is a data track, not audio").arg(number));
        PlannedTrack p;
        p.number = number;
        p.start = track->start;
        p.end = track->start + track->length;
        // An Enhanced CD's last audio track ends where its session does, not
        // at the data track, which lies past the lead-out and lead-in
        // between the sessions.
        const bool dataAfter = std::next(track) != disc.tracks.end() &&
                               std::all_of(std::next(track), disc.tracks.end(),
                                           [](const ListedTrack& later) { return !later.audio; });
        if (dataAfter && track->length > verify::kSessionGap)
            p.end -= verify::kSessionGap;
        const QString name = TrackName(*track, choices, disc.title);
        // A "/" would reach another folder, a NUL would cut the name short
        // and an escape would reach the terminal of whoever lists the folder.
        p.fileName = modRip::OutputFileName(folder, names::SafeFileName(name), u'.' + extension);
        const auto [earlier, added] = taken.emplace(p.fileName, number);
        if (!added)
            return refuse(
                QStringLiteral(
                    "tracks %1 and %2 would both be written to %3; name them with --titles, "
                    "or leave out --no-number")
                    .arg(earlier->second)
                    .arg(number)
                    .arg(p.fileName));
        p.tags.title = track->title.isEmpty() ? name : track->title;
        p.tags.artist = track->performer.isEmpty() ? disc.performer : track->performer;
        p.tags.album = disc.title;
        p.tags.number = number;
        p.tags.total = total;
        p.tags.albumArtist = disc.performer;
        p.tags.disc = text.discNumber;
        p.tags.discTotal = text.totalDiscs;
        p.tags.date = QString::fromStdString(text.date);
        p.tags.genre = QString::fromStdString(text.genre);
        p.tags.barcode = QString::fromStdString(text.catalog);
        // The listing's tracks are the text's, in the same order.
        const auto k = static_cast<std::size_t>(track - disc.tracks.begin());
        if (k < text.tracks.size())
            p.tags.isrc = QString::fromStdString(text.tracks[k].isrc);
        plan.tracks.push_back(p);
    }
    return plan;
}

QStringList SourceFolders(const QString& base, const QStringList& sources) {
    if (sources.size() <= 1)
        return QStringList(sources.size(), base);
    const QString parent = base.endsWith(u'/') ? base : base + u'/';
    QStringList folders;
    // Every name given out, numbered ones included: "a.cue", "x/a.cue" and
    // "a (2).cue" must not share a folder.
    std::set<QString> taken;
    for (const QString& source : sources) {
        const QFileInfo info(source);
        QString name =
            info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
        if (name.isEmpty() || name == u"." || name == u"..")
            name = QStringLiteral("disc");
        QString folder = name;
        for (int n = 2; taken.count(folder) != 0; ++n)
            folder = name + QStringLiteral(" (%1)").arg(n);
        taken.insert(folder);
        folders << parent + folder;
    }
    return folders;
}

} // namespace ripcli
