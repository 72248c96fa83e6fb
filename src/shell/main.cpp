#include "shell/Dorvane.h"
#include "shell/QtDialogs.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorvane"));
    // The window designs use the narrow fonts of another desktop; fonts of the
    // same widths keep their captions from being cut off.
    const QStringList narrow = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Arial"), QStringLiteral("Nimbus Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), narrow);
    QFont::insertSubstitutions(QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans")});
    QtDialogs dialogs;
    Dorvane window(dialogs);
    window.show();
    return QApplication::exec();
}
