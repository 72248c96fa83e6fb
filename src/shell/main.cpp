#include "shell/Dorvane.h"
#include "shell/QtDialogs.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorvane"));
    QtDialogs dialogs;
    Dorvane window(dialogs);
    window.show();
    return QApplication::exec();
}
