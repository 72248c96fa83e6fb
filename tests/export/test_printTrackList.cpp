// File > Print track list on a 60-track disc image. The printer dialog is
// answered by ScriptedDialogs, which points the printer at a PDF file; the
// PDF is read back below.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "settings/modSettings.h"
#include "shell/Dorvane.h"

#include <QPrinter>
#include <QRegularExpression>
#include <QtTest>

namespace {

// The text of a PDF that Qt wrote: the page contents' glyphs read back
// through the ToUnicode maps. Qt numbers glyphs per font, so the glyphs are
// read through every map; one of the readings is the real text.
QStringList PdfTexts(const QByteArray& pdf) {
    const auto all = QRegularExpression::DotMatchesEverythingOption;
    QList<QMap<uint, QChar>> maps;
    QStringList contents, texts;
    for (const auto& m : QRegularExpression(QStringLiteral("stream\r?\n(.*?)endstream"), all)
                             .globalMatch(QString::fromLatin1(pdf))) {
        const QByteArray raw = m.captured(1).toLatin1();
        if (raw.startsWith('\x78'))  // zlib: page contents and font files; qUncompress wants a size first
            contents << QString::fromLatin1(qUncompress(QByteArray("\0\0\1\0", 4) + raw));
        if (!raw.contains("begincmap"))
            continue;
        QMap<uint, QChar>& map = maps.emplace_back();
        for (const auto& r : QRegularExpression(QStringLiteral("<(\\w+)> <\\w+> \\[([^\\]]*)\\]"))
                                 .globalMatch(m.captured(1))) {
            uint glyph = r.captured(1).toUInt(nullptr, 16);
            for (const QString& code : r.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                map[glyph++] = QChar(code.mid(1, 4).toUShort(nullptr, 16));
        }
    }
    for (const auto& map : maps)
        for (const QString& content : contents) {
            QString& text = texts.emplace_back();
            for (const auto& g : QRegularExpression(QStringLiteral("<(\\w{4})> Tj")).globalMatch(content))
                text += map.value(g.captured(1).toUInt(nullptr, 16));
            text.replace(QLatin1Char('\t'), QLatin1Char(' '));  // Qt maps the space glyph to a tab
        }
    return texts;
}

}  // namespace

class PrintTrackListTest : public QObject {
    Q_OBJECT
private slots:
    void printingToPdfHoldsTheList() {
        testsupport::FreshProgram fresh;
        testsupport::ScopedDiscImages images(
            {testsupport::MakeImage(fresh.folder, "a", std::vector<std::int32_t>(60, 200))});
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive,
                                          QStringLiteral("IMAGE a.cue")));
        ScriptedDialogs dialogs;
        Dorvane w(dialogs);
        QCOMPARE(w.TrackList->Count(), 60);
        const QString pdf = fresh.folder.qpath() + QStringLiteral("/list.pdf");
        dialogs.printerChoices = {false, true};
        dialogs.onPrinter = [&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
        };
        QAction* print = testsupport::child<QAction>(&w, "mnuPrint");
        print->trigger();  // cancelled
        QVERIFY(!QFile::exists(pdf));
        print->trigger();
        QCOMPARE(dialogs.printTitles, QStringList(2, QStringLiteral("Print Track List")));
        QVERIFY(dialogs.boxes.empty());

        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.count("/Type /Page\n"), 2);  // the list runs on to a second page
        const QString texts = PdfTexts(bytes).join(QLatin1Char('|'));
        for (const QString& name : QStringList(QStringLiteral("Track List")) + w.TrackList->Texts())
            QVERIFY2(texts.contains(name), qPrintable(name));
    }
};

QTEST_MAIN(PrintTrackListTest)
#include "test_printTrackList.moc"
