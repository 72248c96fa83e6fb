#include "general/FormLayout.h"
#include "general/QtDialogs.h"
#include "shell/Dorvane.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorvane"));
    formlayout::InstallFontSubstitutes();
    QtDialogs dialogs;
    Dorvane window(dialogs);
    window.show();
    return QApplication::exec();
}
