#include "general/FormLayout.h"
#include "general/QtDialogs.h"
#include "shell/Dorvane.h"
#include "shell/FaultReport.h"

#include <QApplication>

int main(int argc, char** argv) {
    // A crashed run's report comes before anything else: it shows one box.
    if (IsFaultReportRun(argc, argv))
        return ShowFaultReport(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorvane"));
    formlayout::InstallFontSubstitutes();
    QtDialogs dialogs;
    Dorvane window(dialogs);
    window.show();
    return QApplication::exec();
}
