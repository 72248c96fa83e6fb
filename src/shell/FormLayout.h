#pragma once
// Small helpers the windows share to build their controls from a design.

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

namespace formlayout {

// Names a control after its design name and puts it at its place.
template <typename W>
W* place(W* widget, const QString& name, const QRect& where) {
    widget->setObjectName(name);
    widget->setGeometry(where);
    return widget;
}

// The windows were laid out for MS Sans Serif. Where it is missing, fonts
// with Arial's widths keep the captions inside their boxes; the usual
// stand-in (DejaVu Sans) is wider and clips them.
inline QFont sansSerif(qreal pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arimo"), QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica")});
    font.setPointSizeF(pointSize);
    return font;
}

}  // namespace formlayout
