#include "export/modSave.h"

#include "general/Dialogs.h"
#include "general/modFiles.h"
#include "general/modGeneral.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace modSave {
namespace {

QByteArray Lines(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLocal8Bit() + "\r\n";
    return bytes;
}

// "dorvane" for the installed program; the pages name what made them.
QString ExeName() {
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath())
        .completeBaseName();
}

QStringList PageLines(const QStringList& entries, bool asp) {
    const QString stars = QStringLiteral("'*************************");
    QStringList lines{
        asp ? QStringLiteral("<%") : QStringLiteral("<!--"),
        stars,
        QStringLiteral("'Page created by: %1 %2.%3")
            .arg(ExeName())
            .arg(modGeneral::VersionMajor())
            .arg(modGeneral::VersionMinor()),
        stars + (asp ? QStringLiteral("%>") : QStringLiteral("-->")),
        QStringLiteral("<html><head><title>Track list</title>"),
        QStringLiteral("<style>"),
        QStringLiteral("body   {font-size: 11px; font-family: verdana; color: #000000}"),
        QStringLiteral("</style>"),
        QStringLiteral("</head>"),
        QStringLiteral("<body bgcolor=\"#ffffff\">"),
        QStringLiteral("<div align=center><font style=\"font-size: 18px; font-family: verdana; "
                       "color: #000000\">Track List"),
        QStringLiteral("<br><br><br>"),
        QStringLiteral("<table width=70% align=center border=0 cellpadding=5 cellspacing=0>"),
    };
    for (const QString& entry : entries)
        lines << QStringLiteral("<tr><td width=100% align=left>") + entry +
                     QStringLiteral("</td></tr>");
    lines << QStringLiteral("</table>") << QStringLiteral("</body></html>");
    return lines;
}

Outcome Failed(const QString& path, const QString& why) {
    return {false, QStringLiteral("The track list could not be saved as %1: %2.").arg(path, why)};
}

Outcome Failed(const QString& path, int err) {
    return Failed(path, QString::fromLocal8Bit(std::strerror(err)));
}

// A file already there is replaced only once the new one is wholly on the
// disk, so a full disk or a crash never costs the old list. What is not a
// regular file (a device, a pipe) is written to as it is.
Outcome WriteFile(const QString& path, const QByteArray& bytes) {
    const QByteArray target = modFiles::ResolvedPath(modFiles::PathBytes(path));
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists) {
        // Replacing needs only the folder's leave, but the file's own
        // permissions say whether it may change. Root passes access(), so
        // a file nobody may write is refused by its mode bits.
        if (::access(target.constData(), W_OK) != 0)
            return Failed(path, errno);
        if ((old.st_mode & 0222) == 0)
            return Failed(path, QStringLiteral("the file is read-only"));
    }
    if (!exists || S_ISREG(old.st_mode)) {
        if (const int error = modFiles::ReplaceWhole(target, bytes, exists ? &old : nullptr))
            return Failed(path, error);
        return {};
    }
    // O_NONBLOCK: a pipe nobody reads fails at once instead of hanging.
    modFiles::UniqueFd file(::open(target.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0 || !modFiles::WriteAll(file.get(), bytes) || !file.Close())
        return Failed(path, errno);
    return {};
}

} // namespace

Writer WriterFor(const QString& fileName) {
    if (fileName.endsWith(QStringLiteral("html")))
        return Writer::Html;
    if (fileName.endsWith(QStringLiteral("asp")))
        return Writer::Asp;
    if (fileName.endsWith(QStringLiteral("txt")))
        return Writer::Text;
    return Writer::OwnFormat;
}

Outcome SaveAsOwnFormat(const QString& path, const QStringList& entries) {
    QStringList lines;
    for (int k = 0; k < entries.size(); ++k)
        lines << QString::number(k) + QLatin1Char(' ') + entries[k];
    return WriteFile(path, Lines(lines));
}

Outcome SaveAsText(const QString& path, const QStringList& entries) {
    return WriteFile(path, Lines(entries));
}

Outcome SaveAsHtml(const QString& path, const QStringList& entries) {
    return WriteFile(path, Lines(PageLines(entries, false)));
}

Outcome SaveAsAsp(const QString& path, const QStringList& entries) {
    return WriteFile(path, Lines(PageLines(entries, true)));
}

void SaveTrackList(Dialogs& dialogs, const QString& folder, const QStringList& entries) {
    const QStringList filters{
        QStringLiteral("Dorvane (*.dv)"), QStringLiteral("HTML Document (*.html)"),
        QStringLiteral("Active Server Page (*.asp)"), QStringLiteral("Plain text (*.txt)")};
    QString chosenFilter = filters.first();
    const QString path = dialogs.SaveFileName(QStringLiteral("Save track list"), folder,
                                              filters.join(QStringLiteral(";;")), &chosenFilter);
    if (path.isEmpty())
        return;
    Outcome outcome;
    switch (WriterFor(path)) {
    case Writer::Html:
        outcome = SaveAsHtml(path, entries);
        break;
    case Writer::Asp:
        outcome = SaveAsAsp(path, entries);
        break;
    case Writer::Text:
        outcome = SaveAsText(path, entries);
        break;
    case Writer::OwnFormat:
        outcome = SaveAsOwnFormat(path, entries);
        break;
    }
    if (outcome.ok) {
        dialogs.MsgBox(QStringLiteral("File saved as: ") + path, Dialogs::Buttons::Ok,
                       Dialogs::Icon::Information, modGeneral::kAppTitle);
        return;
    }
    dialogs.MsgBox(outcome.error +
                       QStringLiteral("\r\n\r\nChoose a folder you may write to, or another name, "
                                      "and save again."),
                   Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation, modGeneral::kAppTitle);
}

} // namespace modSave
