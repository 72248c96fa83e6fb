#pragma once
// Small helpers the windows share to build their controls from a design.

#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>

#include <type_traits>

namespace formlayout {

// Names a control after its design name and puts it at its place. A label
// shows its text as written: a track or file name that looks like HTML must
// not turn bold or lose its tags.
template <typename W> W* place(W* widget, const QString& name, const QRect& where) {
    if constexpr (std::is_base_of_v<QLabel, W>)
        widget->setTextFormat(Qt::PlainText);
    widget->setObjectName(name);
    widget->setGeometry(where);
    return widget;
}

// The designs name fonts of another desktop. Each gets a free face of the
// same widths where one exists, so captions keep inside their boxes: MS Sans
// Serif and Arial the Arial-metric faces, Comic Sans MS Comic Neue, Verdana
// DejaVu Sans (Vera's design, Verdana's proportions). Called once at start,
// before the first window is made.
void InstallFontSubstitutes();

// Fills the widget's background with colour, as the design's back colour.
void fillBackground(QWidget* widget, const QColor& colour);

// Puts a window in the middle of the screen's free area (the window's own
// screen when none is given).
void centreOnScreen(QWidget* window, const QScreen* screen = nullptr);

// The design's MS Sans Serif at a point size.
QFont sansSerif(qreal pointSize);

} // namespace formlayout
