#include "general/Dialogs.h"

#include "general/modGeneral.h"

bool Dialogs::OpenWithShell(const QString& target) {
    if (HandToDesktop(target))
        return true;
    const bool page = target.startsWith(QStringLiteral("http://")) || target.startsWith(QStringLiteral("https://"));
    MsgBox(page ? QStringLiteral("No web browser could be started to show this page. To see it, open "
                                 "this address in a browser:\r\n\r\n%1")
                      .arg(target)
                : QStringLiteral("No program could be started to open this file:\r\n\r\n%1").arg(target),
           Buttons::Ok, Icon::Exclamation, modGeneral::kAppTitle);
    return false;
}
