#include "shell/FaultReport.h"

#include "general/FormLayout.h"
#include "general/QtDialogs.h"
#include "general/modGeneral.h"
#include "shell/modErrHandler.h"

#include <QApplication>

#include <cstring>

bool IsFaultReportRun(int argc, char** argv) {
    return argc >= 3 && std::strcmp(argv[1], modErrHandler::kReportFaultOption) == 0;
}

int ShowFaultReport(int argc, char** argv) {
    const QString report = QString::fromLocal8Bit(argv[2]);
    QApplication app(argc, argv);
    QApplication::setApplicationName(modGeneral::kAppTitle);
    formlayout::InstallFontSubstitutes();
    QtDialogs dialogs;
    dialogs.MsgBox(report, Dialogs::Buttons::Ok, Dialogs::Icon::Critical, modGeneral::kAppTitle);
    return 0;
}
