#include "engine/RunMessages.h"

#include "cd/modAKRip32.h"
#include "engine/TrackRun.h"
#include "general/modGeneral.h"
#include "tracks/modNames.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace trackrun {

namespace {

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString FileText(const QString& fileName) {
    return QDir::toNativeSeparators(fileName);
}

QString CannotWriteText(const QString& fileName, int error) {
    return QStringLiteral("Cannot write to the file \"%1\": %2.\n\nThe file keeps what was written "
                          "before the failure, and the tracks after it were not extracted. Free "
                          "some space or choose another output folder, then extract them again.")
        .arg(fileName, SystemText(error));
}

// Errors of the folder, which every later track would meet too; others (a
// name too long, a folder at the name) are of one name alone.
bool FolderError(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOSPC:
    case EDQUOT:
    case EIO:
        return true;
    default:
        return false;
    }
}

TrackMessage Worded(Fault fault, const Track& track, const ripengine::JobStatus& status, int error,
                    int signal) {
    const QString file = FileText(track.fileName);
    const QString app = modGeneral::kAppTitle;
    using Icon = Dialogs::Icon;
    switch (fault) {
    case Fault::TooLongForWav:
        return {
            QStringLiteral("Track %1 is too long for a WAV file (at most 4 GB of audio), so \"%2\" "
                           "was not made. Extract it as MP3 instead.")
                .arg(track.number)
                .arg(track.fileName),
            Icon::Exclamation, app,
            file + QStringLiteral(": track %1 is too long for a WAV file (at most 4 GB of audio); "
                                  "choose -f flac or -f mp3")
                       .arg(track.number)};
    case Fault::ReadFailed: {
        // The command line says what happened in the system's or the image's
        // words; the window keeps the CD library's text.
        QString why = status.readReason;
        if (why.isEmpty())
            why = modAKRip32::CDErrorText(status.readError);
        if (why.isEmpty())
            why = QStringLiteral("error %1").arg(status.readError);
        return {QStringLiteral("Track %1 could not be read at sector %2, so \"%3\" holds only the "
                               "audio before it.\n\n%4")
                    .arg(track.number)
                    .arg(status.failedSector)
                    .arg(modNames::FileNameFromPath(track.fileName),
                         modAKRip32::CDErrorText(status.readError)),
                Icon::None, app,
                file + QStringLiteral(": cannot read the disc at sector %1, %2 into track %3 (%4); "
                                      "the file holds the audio before it")
                           .arg(status.failedSector)
                           .arg(SectorTime(status.failedSector - track.start))
                           .arg(track.number)
                           .arg(why)};
    }
    case Fault::EncoderFailed:
        return {status.faultText, Icon::Critical, kEncoderFaultTitle,
                file + QStringLiteral(": the encoder refused the track: ") + status.faultText};
    case Fault::SourceFile:
        return {QStringLiteral("\"%1\" is one of the files the disc is read from, so it was not "
                               "written over and the track was not extracted. Choose another "
                               "output folder in Settings.")
                    .arg(track.fileName),
                Icon::Exclamation, app,
                file +
                    QStringLiteral(": the disc reads its audio from this file, so it is left as it "
                                   "is; choose another --output folder")};
    case Fault::CreateFailed:
        return {QStringLiteral("Cannot create the file \"%1\": %2.\n\nThe track was not extracted. "
                               "Check that the output folder exists and that you may write to it, "
                               "or choose another folder in Settings.")
                    .arg(track.fileName, SystemText(error)),
                Icon::Exclamation, app,
                file + QStringLiteral(": cannot create: ") + SystemText(error)};
    case Fault::SpecialFile:
        return {
            QStringLiteral("\"%1\" is a pipe, a socket or a device, not a file, so nothing was "
                           "written to it and the track was not extracted. Rename the track, or "
                           "choose another output folder in Settings.")
                .arg(track.fileName),
            Icon::Exclamation, app,
            file + QStringLiteral(": is a pipe, a socket or a device, not a file; nothing was "
                                  "written to it")};
    case Fault::WriteFailed:
        return {CannotWriteText(track.fileName, error), Icon::Critical, app,
                file + QStringLiteral(": cannot write: ") + SystemText(error)};
    case Fault::LandFailed:
        return {
            QStringLiteral("The file \"%1\" could not be given its name: %2.\n\nIts audio was not "
                           "kept. Rename the track or choose another output folder in Settings, "
                           "then extract it again.")
                .arg(track.fileName, SystemText(error)),
            Icon::Critical, app,
            file + QStringLiteral(": cannot give the file its name: ") + SystemText(error)};
    case Fault::Stopped:
        // The window's own Cancel or close needs no box: the person asked.
        return {{},
                Icon::None,
                app,
                file + QStringLiteral(": stopped by %1; the file holds the first %2 of the track")
                           .arg(SignalName(signal), SectorTime(status.sectorsDone))};
    }
    return {};
}

} // namespace

QString SectorTime(std::int64_t sectors) {
    const std::int64_t seconds = sectors / 75;
    return QStringLiteral("%1:%2.%3")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(sectors % 75, 2, 10, QLatin1Char('0'));
}

QString SignalName(int number) {
    switch (number) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(number);
    }
}

bool Fails(Fault fault) {
    return fault != Fault::Stopped;
}

bool EndsRun(Fault fault, const ripengine::JobStatus& status, int error) {
    switch (fault) {
    case Fault::WriteFailed:
        return true;
    case Fault::CreateFailed:
        return !status.nameOnly;
    case Fault::LandFailed:
        return FolderError(error);
    default:
        return false;
    }
}

QString PartialName(const QString& fileName) {
    const QString base = QFileInfo(fileName).fileName();
    const qsizetype dot = base.lastIndexOf(u'.');
    const qsizetype cut = fileName.size() - base.size() + (dot > 0 ? dot : base.size());
    return fileName.left(cut) + QStringLiteral(" (partial)") + fileName.mid(cut);
}

TrackMessage Describe(Fault fault, const Track& track, const ripengine::JobStatus& status,
                      int error, int signal, const QString& keptAs) {
    TrackMessage message = Worded(fault, track, status, error, signal);
    if (keptAs.isEmpty())
        return message;
    // An older file of the track's name keeps it: say where this one went.
    const QString kept = modNames::FileNameFromPath(keptAs);
    if (message.text.isEmpty()) {
        message.text = QStringLiteral("Track %1 was stopped before its end.").arg(track.number);
        message.icon = Dialogs::Icon::Information;
    }
    message.text += QStringLiteral("\n\nAn older file named \"%1\" was kept as it was; what was "
                                   "extracted is in \"%2\".")
                        .arg(modNames::FileNameFromPath(track.fileName), kept);
    message.line +=
        QStringLiteral("; the older file of that name is kept, and this one is \"%1\"").arg(kept);
    return message;
}

} // namespace trackrun
