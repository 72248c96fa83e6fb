#include "general/AppIcon.h"

#include <QPainter>
#include <QRadialGradient>

QPixmap AppIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(size / 2.0, size / 2.0);
    const qreal r = size / 2.0 - 1;
    QRadialGradient silver(c, r);
    silver.setColorAt(0.0, QColor(250, 250, 255));
    silver.setColorAt(0.55, QColor(190, 200, 215));
    silver.setColorAt(0.8, QColor(235, 225, 245));
    silver.setColorAt(1.0, QColor(160, 170, 190));
    p.setPen(QPen(QColor(90, 90, 110), qMax(1.0, size / 32.0)));
    p.setBrush(silver);
    p.drawEllipse(c, r, r);
    p.setBrush(QColor(220, 40, 40));
    p.drawEllipse(c, r * 0.32, r * 0.32);
    p.setBrush(Qt::white);
    p.drawEllipse(c, r * 0.12, r * 0.12);
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(AppIconPixmap(size));
    return icon;
}
