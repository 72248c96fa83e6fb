#include "export/PrintTrackList.h"

#include "general/Dialogs.h"
#include "general/modGeneral.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

namespace {

// False when the printer (or the file to print to) could not be opened.
bool PrintPages(QPrinter& printer, const QStringList& entries) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // The painter's origin is the top left of the printable area.
    const int height = printer.height();
    const QFont titleFont(QStringLiteral("Verdana"), 16, QFont::Bold);
    const QFont lineFont(QStringLiteral("Verdana"), 11);
    const QFontMetrics title(titleFont, &printer);
    const QFontMetrics line(lineFont, &printer);

    painter.setFont(titleFont);
    painter.drawText(0, title.ascent(), QStringLiteral("Track List"));
    int baseline = title.height() + title.lineSpacing();
    painter.setFont(lineFont);
    for (const QString& entry : entries) {
        if (baseline + line.descent() > height) {
            if (!printer.newPage())
                return false;
            baseline = line.ascent();
        }
        painter.drawText(0, baseline, entry);
        baseline += line.lineSpacing();
    }
    return painter.end();
}

} // namespace

void PrintTrackList(Dialogs& dialogs, const QStringList& entries) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Track list"));
    // PDF output starts with hardly any margin; paper wants some.
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    if (!dialogs.ChoosePrinter(printer, QStringLiteral("Print Track List")))
        return;
    if (PrintPages(printer, entries))
        return;
    const QString where =
        printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    dialogs.MsgBox(
        QStringLiteral(
            "The track list could not be printed on %1.\r\n\r\nCheck the printer, or the "
            "folder of the file to print to, and print again.")
            .arg(where),
        Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation, modGeneral::kAppTitle);
}
