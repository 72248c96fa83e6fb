#include "rip/RipReport.h"

#include "general/modGeneral.h"

#include <QFileInfo>

namespace ripcli {
namespace {

QString HexText(std::uint32_t value) {
    return QString::fromStdString(verify::Hex8(value));
}

// A track not read whole says why.
QString TrackVerdictText(const TrackReport& t) {
    if (!t.sums.Complete())
        return QStringLiteral("not checked: ") + QString::fromStdString(t.outcome);
    return t.verdict ? QString::fromStdString(t.verdict->Text()) : QStringLiteral("not checked");
}

} // namespace

QString CheckSummary(const DiscReport& report) {
    switch (report.lookup.status) {
    case ArLookup::Status::NotAsked:
        return QStringLiteral("not checked against AccurateRip");
    case ArLookup::Status::Failed:
        return QStringLiteral("not checked: AccurateRip could not be asked");
    case ArLookup::Status::Found:
    case ArLookup::Status::NotInDatabase:
        break;
    }
    return report.verdict ? QString::fromStdString(report.verdict->Summary()) : QString();
}

QString CheckTable(const DiscReport& report) {
    QString out;
    if (report.ids)
        out += QStringLiteral("Disc ids: AccurateRip %1, MusicBrainz %2, freedb %3\n")
                   .arg(QString::fromStdString(report.ids->ArText()),
                        QString::fromStdString(report.ids->musicBrainz),
                        QString::fromStdString(report.ids->freedb));
    const QString from = QString::fromStdString(report.lookup.from);
    const QString text = QString::fromStdString(report.lookup.text);
    out += QStringLiteral("AccurateRip: ") +
           (report.lookup.status == ArLookup::Status::Found ? from + QStringLiteral(": ") + text
            : text.isEmpty()                                ? QStringLiteral("not asked")
                                                            : text) +
           u'\n';
    out += QStringLiteral("Track  CRC32     No nulls  AR v1     AR v2     AccurateRip\n");
    for (const TrackReport& t : report.tracks) {
        const bool whole = t.sums.Complete();
        const auto sum = [whole](std::uint32_t v) { return whole ? HexText(v) : QString(8, u'-'); };
        out += QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                   .arg(t.number, 5)
                   .arg(sum(t.sums.crc32), sum(t.sums.crc32NoNulls), sum(t.sums.arV1),
                        sum(t.sums.arV2), TrackVerdictText(t));
    }
    if (report.verdict)
        for (const std::string& note : report.verdict->notes)
            out += QStringLiteral("Note: ") + QString::fromStdString(note) + u'\n';
    return out + CheckSummary(report) + u'\n';
}

verify::RipLog MakeRipLog(const DiscReport& report, const DiscListing& listing,
                          const LogSource& source) {
    verify::RipLog log;
    log.program = "dorvane-rip";
    log.version = QStringLiteral("%1.%2.%3")
                      .arg(modGeneral::VersionMajor())
                      .arg(modGeneral::VersionMinor())
                      .arg(modGeneral::VersionRevision())
                      .toStdString();
    log.imagePath = source.imagePath.toStdString();
    if (!source.drive.isEmpty()) {
        log.driveModel = source.drive.toStdString();
        log.readOffset = 0;
    }
    log.discTitle = listing.title.toStdString();
    log.discPerformer = listing.performer.toStdString();
    log.toc = report.toc;
    log.ids = report.ids;
    log.arSource = report.lookup.from;
    log.arResult = report.lookup.status == ArLookup::Status::NotAsked
                       ? "not asked (--accuraterip, --accuraterip-url or AccurateRipUrl= asks)"
                       : report.lookup.text;
    for (const TrackReport& t : report.tracks) {
        verify::LogTrack entry;
        entry.number = t.number;
        entry.title = t.title.toStdString();
        entry.fileName = QFileInfo(t.fileName).fileName().toStdString();
        entry.outcome = t.outcome;
        if (t.sums.samples > 0)
            entry.checksums = t.sums;
        entry.verdict = t.verdict;
        log.tracks.push_back(std::move(entry));
    }
    log.verdict = report.verdict;
    return log;
}

} // namespace ripcli
