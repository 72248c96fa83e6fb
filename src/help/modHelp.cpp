#include "help/modHelp.h"

#include "general/Dialogs.h"
#include "general/modFiles.h"
#include "general/modGeneral.h"
#include "version.h"

#include <sys/stat.h>
#include <unistd.h>

namespace modHelp {

bool IsBlank(const QString& text) {
    for (QChar c : text)
        if (c != QLatin1Char(' '))
            return false;
    return true;
}

bool FileExists(const QString& path) {
    if (IsBlank(path))
        return false;
    const QByteArray name = modFiles::PathBytes(path);
    struct stat info {};
    return ::stat(name.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(name.constData(), R_OK) == 0;
}

QString HelpFilePath() {
    return modGeneral::AppFolder() + QStringLiteral("/help.chm");
}

QString ProductPage() {
    return QStringLiteral(DORVANE_SUPPORT_SITE "?mode=Products&p=dorvane");
}
QString DownloadPage() {
    return QStringLiteral(DORVANE_SUPPORT_SITE "?mode=Products&act=DL&p=dorvane");
}
QString ContactPage() {
    return QStringLiteral(DORVANE_SUPPORT_SITE "?mode=Contact&sub-mode=csupport");
}
QString HomePage() {
    return QStringLiteral(DORVANE_HOMEPAGE);
}
QString CompanyName() {
    return QStringLiteral(DORVANE_COMPANY);
}
QString CopyrightNotice() {
    return QString::fromUtf8(DORVANE_COPYRIGHT);
}

void ShowHelp(Dialogs& dialogs) {
    const QString helpFile = HelpFilePath();
    if (FileExists(helpFile)) {
        dialogs.OpenWithShell(helpFile);
        return;
    }
    const auto answer = dialogs.MsgBox(
        QStringLiteral("Help files not present, would you like to view the online documentation?"),
        Dialogs::Buttons::YesNo, Dialogs::Icon::Question, modGeneral::kAppTitle);
    if (answer == Dialogs::Answer::Yes)
        dialogs.OpenWithShell(ProductPage());
}

} // namespace modHelp
