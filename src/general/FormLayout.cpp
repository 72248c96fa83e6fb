#include "general/FormLayout.h"

namespace formlayout {

void InstallFontSubstitutes() {
    const QStringList arialWidths = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                     QStringLiteral("Nimbus Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), arialWidths);
    QFont::insertSubstitutions(QStringLiteral("Arial"), arialWidths);
    QFont::insertSubstitutions(QStringLiteral("Comic Sans MS"), {QStringLiteral("Comic Neue")});
    QFont::insertSubstitutions(QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans")});
}

QFont sansSerif(qreal pointSize) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(pointSize);
    return font;
}

}  // namespace formlayout
