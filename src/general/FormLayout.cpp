#include "general/FormLayout.h"

#include <QPalette>
#include <QScreen>

namespace formlayout {

void InstallFontSubstitutes() {
    const QStringList arialWidths = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                     QStringLiteral("Nimbus Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), arialWidths);
    QFont::insertSubstitutions(QStringLiteral("Arial"), arialWidths);
    QFont::insertSubstitutions(QStringLiteral("Comic Sans MS"), {QStringLiteral("Comic Neue")});
    QFont::insertSubstitutions(QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans")});
}

void fillBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void centreOnScreen(QWidget* window, const QScreen* screen) {
    if (!screen)
        screen = window->screen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

QFont sansSerif(qreal pointSize) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace formlayout
