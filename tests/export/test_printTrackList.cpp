// File > Print track list with 60 tracks. ScriptedDialogs points the printer
// at a PDF file, which is read back below.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "shell/Dorvane.h"

#include <QPrinter>
#include <QtTest>

namespace {

// The text of a PDF that Qt wrote: the pages' glyphs read back through the
// ToUnicode maps. Qt numbers glyphs per font, so every page is read through
// every map; one of the readings is the real text.
QString PdfTexts(const QByteArray& pdf) {
    QList<QMap<uint, QChar>> maps;
    QStringList pages;
    QString texts;
    for (const auto& m : QRegularExpression(QStringLiteral("(?s)stream\r?\n(.*?)endstream"))
                             .globalMatch(QString::fromLatin1(pdf))) {
        if (m.captured(1).startsWith(QLatin1Char('\x78'))) // zlib: qUncompress wants a size first
            pages << QString::fromLatin1(
                qUncompress(QByteArray("\0\0\1\0", 4) + m.captured(1).toLatin1()));
        QMap<uint, QChar>& map = maps.emplace_back();
        for (const auto& r : QRegularExpression(QStringLiteral("<(\\w+)> <\\w+> \\[([^\\]]*)\\]"))
                                 .globalMatch(m.captured(1))) {
            uint glyph = r.captured(1).toUInt(nullptr, 16);
            for (const QString& code : r.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                map[glyph++] = QChar(code.mid(1, 4).toUShort(nullptr, 16));
        }
    }
    for (const auto& map : maps)
        for (const QString& page : pages) {
            for (const auto& g :
                 QRegularExpression(QStringLiteral("<(\\w{4})> Tj")).globalMatch(page))
                texts += map.value(g.captured(1).toUInt(nullptr, 16));
            texts += QLatin1Char('|');
        }
    return texts.replace(QLatin1Char('\t'), QLatin1Char(' ')); // Qt maps the space glyph to a tab
}

} // namespace

class PrintTrackListTest : public QObject {
    Q_OBJECT
  private slots:
    void printingToPdfHoldsTheList() {
        testsupport::FreshProgram fresh;
        ScriptedDialogs dialogs;
        Dorvane w(dialogs);
        for (int i = 1; i <= 60; ++i)
            w.TrackList->AddItem(QStringLiteral("Track %1 - Tom & Jerry <Café>").arg(i));
        const QString pdf = fresh.folder.qpath() + QStringLiteral("/list.pdf");
        dialogs.printerChoices = {false, true};
        dialogs.onPrinter = [&](QPrinter& printer) { printer.setOutputFileName(pdf); };
        QAction* print = testsupport::child<QAction>(&w, "mnuPrint");
        print->trigger(); // cancelled
        QVERIFY(!QFile::exists(pdf));
        print->trigger();
        QCOMPARE(dialogs.printTitles, QStringList(2, QStringLiteral("Print Track List")));

        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.count("/Type /Page\n"), 2); // the list runs on to a second page
        const QString texts = PdfTexts(bytes);
        for (const QString& name : QStringList(QStringLiteral("Track List")) + w.TrackList->Texts())
            QVERIFY2(texts.contains(name), qPrintable(name));
    }
};

QTEST_MAIN(PrintTrackListTest)
#include "test_printTrackList.moc"
