#include "general/LabelButton.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>

Shape::Shape(QWidget* parent, const QString& name, Kind kind, const QColor& fill)
    : QWidget(parent), kind_(kind), fill_(fill) {
    setObjectName(name);
    // A shape is decoration: the pointer over it counts as the window's free area.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::setFillColor(const QColor& color) {
    if (color == fill_)
        return;
    fill_ = color;
    update();
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill_);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (kind_ == Kind::RoundedRectangle) {
        const qreal radius = qMin(box.width(), box.height()) / 4.0;
        painter.drawRoundedRect(box, radius, radius);
    } else {
        painter.drawRect(box);
    }
}

LabelButton::LabelButton(QWidget* parent, const QString& name, const QString& caption)
    : QLabel(caption, parent) {
    setObjectName(name);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setCursor(PointingHandCursor());
}

void LabelButton::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void LabelButton::mouseReleaseEvent(QMouseEvent* event) {
    // Like a button: the click counts only when released over the label.
    const bool inside = rect().contains(event->position().toPoint());
    if (pressed_ && event->button() == Qt::LeftButton && inside) {
        pressed_ = false;
        emit clicked();
    }
    pressed_ = false;
    event->accept();
}

void LabelButton::mouseMoveEvent(QMouseEvent* event) {
    emit pointerMoved();
    event->accept();
}

const QCursor& PointingHandCursor() {
    // '#' black, '.' white, ' ' transparent.
    static const char* const kHand[] = {
        "      ##",           "     #..#",          "     #..#",          "     #..#",
        "     #..#",          "     #..###",        "     #..#..###",     "     #..#..#..##",
        "     #..#..#..#.#",  " ### #..#..#..#..#", " #..##........#..#", " #...#...........#",
        "  #..............#", "   #.............#", "   #............#",  "    #...........#",
        "    #..........#",   "     #.........#",   "     #.........#",   "     ###########",
    };
    static const QCursor cursor = [] {
        QImage shape(32, 32, QImage::Format_Mono);
        QImage mask(32, 32, QImage::Format_Mono);
        shape.fill(0);
        mask.fill(0);
        for (int y = 0; y < static_cast<int>(std::size(kHand)); ++y) {
            const QByteArray row(kHand[y]);
            for (int x = 0; x < row.size(); ++x) {
                if (row[x] == '#')
                    shape.setPixel(x, y, 1);
                if (row[x] != ' ')
                    mask.setPixel(x, y, 1);
            }
        }
        return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), 6, 0);
    }();
    return cursor;
}
