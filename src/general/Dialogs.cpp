#include "general/Dialogs.h"

#include "general/modGeneral.h"

bool Dialogs::OpenWithShell(const QString& target) {
    if (HandToDesktop(target))
        return true;
    SayNotOpened(target);
    return false;
}

void Dialogs::SayNotOpened(const QString& target) {
    const bool page = target.startsWith(QStringLiteral("http://")) ||
                      target.startsWith(QStringLiteral("https://"));
    MsgBox(
        page ? QStringLiteral("The page could not be shown: no web browser opened it. To see it, "
                              "open this address in a browser:\r\n\r\n%1")
                   .arg(target)
             : QStringLiteral("The file could not be shown: no program opened it. It is:\r\n\r\n%1")
                   .arg(target),
        Buttons::Ok, Icon::Exclamation, modGeneral::kAppTitle);
}
