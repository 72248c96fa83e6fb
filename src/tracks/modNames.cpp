#include "tracks/modNames.h"

#include <QStringList>

namespace modNames {

namespace {

// Every occurrence cuts, empty pieces stay; an empty text has no pieces at
// all (QString::split would give one empty piece), so callers must check.
QStringList Pieces(const QString& text, const QString& separator) {
    if (text.isEmpty())
        return {};
    return text.split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString PieceAt(const QStringList& pieces, qsizetype index) {
    return index >= 0 && index < pieces.size() ? pieces.at(index) : QString();
}

} // namespace

QString TitleFromName(const QString& name) {
    return PieceAt(Pieces(name, QStringLiteral(" ")), 0);
}

QString TrackNoFromName(const QString& name) {
    return PieceAt(Pieces(name, QStringLiteral(" ")), name.count(u'-'));
}

QString PrefixFromName(const QString& name) {
    const QStringList pieces = Pieces(name, QStringLiteral(" -"));
    return PieceAt(pieces, pieces.size() - 1);
}

QString FileNameFromPath(const QString& path) {
    const QStringList pieces = Pieces(path, QStringLiteral("/"));
    return PieceAt(pieces, pieces.size() - 1);
}

QString DefaultTrackName(int trackNumber) {
    const QString number = QString::number(trackNumber);
    const bool oneDigit = trackNumber >= 0 && trackNumber < 10;
    return QStringLiteral("Track ") + (oneDigit ? QStringLiteral("0") : QString()) + number +
           QStringLiteral(" - CD1");
}

QString ComposeName(const QString& title, const QString& trackNo, const QString& prefix) {
    return title + u' ' + trackNo + QStringLiteral(" - ") + prefix;
}

bool ExcludeRefused(const QString& item0, const QString& item1) {
    return item0.left(8) == QStringLiteral("Track 01") ||
           item1.left(8) == QStringLiteral("Track 02");
}

QString BareName(const QString& name) {
    return TitleFromName(name);
}

QString NumberedName(const QString& text, int index) {
    return text + u' ' + QString::number(index + 1) + QStringLiteral(" - CD1");
}

} // namespace modNames
