// File > Save Track list and Print track list from the main window, on a disc
// image read by libcdio. The printer dialog is answered by ScriptedDialogs,
// which points the printer at a PDF file; the PDF is read back below.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "settings/frmSettings.h"
#include "settings/modSettings.h"
#include "shell/Dorvane.h"

#include <QAction>
#include <QLineEdit>
#include <QPrinter>
#include <QRegularExpression>
#include <QtTest>

using testsupport::child;

namespace {

// The lines of a PDF that Qt wrote: each text block's glyphs read back
// through the file's ToUnicode maps. Qt numbers glyphs per font, so every
// block is read through every map; the right one gives the real line.
QStringList PdfLines(const QByteArray& pdf) {
    static const QRegularExpression streamRe(QStringLiteral("stream\r?\n(.*?)endstream"),
                                             QRegularExpression::DotMatchesEverythingOption);
    QList<QMap<uint, QChar>> maps;
    QStringList contents;
    for (const auto& m : streamRe.globalMatch(QString::fromLatin1(pdf))) {
        const QByteArray raw = m.captured(1).toLatin1();
        if (raw.contains("begincmap")) {
            QMap<uint, QChar>& map = maps.emplace_back();
            static const QRegularExpression rangeRe(QStringLiteral("<(\\w+)> <(\\w+)> \\[([^\\]]*)\\]"));
            for (const auto& r : rangeRe.globalMatch(QString::fromLatin1(raw))) {
                uint glyph = r.captured(1).toUInt(nullptr, 16);
                for (const QString& code : r.captured(3).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    map[glyph++] = QChar(code.mid(1, 4).toUShort(nullptr, 16));
            }
        } else {
            QByteArray sized(4, '\0');  // qUncompress wants a size first; it grows as needed
            sized[2] = 1;
            contents << QString::fromLatin1(qUncompress(sized + raw));
        }
    }
    QStringList lines;
    static const QRegularExpression blockRe(QStringLiteral("BT(.*?)ET"), QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression glyphRe(QStringLiteral("<([0-9A-Fa-f]{4})> Tj"));
    for (const QString& content : contents)
        for (const auto& block : blockRe.globalMatch(content))
            for (const auto& map : maps) {
                QString line;
                for (const auto& g : glyphRe.globalMatch(block.captured(1)))
                    line += map.value(g.captured(1).toUInt(nullptr, 16), QLatin1Char('?'));
                lines << line.replace(QLatin1Char('\t'), QLatin1Char(' '));
            }
    return lines;
}

}  // namespace

class PrintTrackListTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::FreshProgram> fresh_;
    std::unique_ptr<testsupport::ScopedDiscImages> images_;
    ScriptedDialogs dialogs_;

private slots:
    void init() {
        fresh_ = std::make_unique<testsupport::FreshProgram>();
        images_ = std::make_unique<testsupport::ScopedDiscImages>(
            std::vector<std::string>{testsupport::MakeImage(fresh_->folder, "a", {300, 400})});
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive, QStringLiteral("IMAGE a.cue")));
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kOutpath, fresh_->folder.qpath()));
        dialogs_ = ScriptedDialogs();
    }
    void cleanup() {
        images_.reset();
        fresh_.reset();
    }

    void saveWritesTheListInTheOutputFolder() {
        Dorvane w(dialogs_);
        const QString path = fresh_->folder.qpath() + QStringLiteral("/list.txt");
        dialogs_.saveNames = {path};
        child<QAction>(&w, "mnuSave")->trigger();
        QCOMPARE(dialogs_.saveDialogs.at(0).folder, w.Settings()->txtOutPath->text());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("Track 01 - CD1\r\nTrack 02 - CD1\r\n"));
    }

    void printingToPdfHoldsTheList() {
        Dorvane w(dialogs_);
        const QString pdf = fresh_->folder.qpath() + QStringLiteral("/list.pdf");
        dialogs_.printerChoices = {false, true};
        dialogs_.onPrinter = [&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
        };
        QAction* print = child<QAction>(&w, "mnuPrint");
        print->trigger();  // cancelled
        QVERIFY(!QFile::exists(pdf));
        print->trigger();
        QCOMPARE(dialogs_.printTitles, QStringList(2, QStringLiteral("Print Track List")));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = PdfLines(file.readAll());
        for (const char* expected : {"Track List", "Track 01 - CD1", "Track 02 - CD1"})
            QVERIFY2(lines.contains(QString::fromLatin1(expected)), expected);
        QVERIFY(dialogs_.boxes.empty());
    }
};

QTEST_MAIN(PrintTrackListTest)
#include "test_printTrackList.moc"
