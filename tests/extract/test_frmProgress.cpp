// The progress window on its own, and extraction from the main window: the
// commands that would disturb a run wait, and closing the main window ends
// the run after the current block with a valid file.

#include "DiscMaker.h"
#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "extract/frmProgress.h"
#include "extract/mVariables.h"
#include "general/LabelButton.h"
#include "general/Twips.h"
#include "settings/frmSettings.h"
#include "settings/modSettings.h"
#include "shell/Dorvane.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <fstream>

using testsupport::child;

class ProgressTest : public QObject {
    Q_OBJECT

private slots:
    void init() { mVariables::CancelRequested = false; }

    void showsTheShareDoneInCaptionAndBar() {
        QWidget owner;
        frmProgress w(&owner);
        w.ShowCentred();
        QCOMPARE(w.windowType(), Qt::Tool);
        QCOMPARE(w.palette().color(QPalette::Window), twips::kRed);
        const int inner = child<QFrame>(&w, "picProgress1")->contentsRect().width();
        const QWidget* bar = child<QWidget>(&w, "picProgress2");
        QCOMPARE(inner, twips::px(5115));
        QCOMPARE(bar->width(), inner);  // the design state fills the track
        const struct {
            float cur, tot;
            const char* locale;
            const char* caption;
            int width;
        } rows[] = {{26, 52, "C", "Progress 50.00 %", (inner + 1) / 2}, {1, 3, "C", "Progress 33.33 %", qRound(inner / 3.0)},
                    {5.5f, 100, "C", "Progress 05.50 %", qRound(inner * 0.055)}, {100, 100, "C", "Progress 100.00 %", inner},
                    {1, 3, "de_DE", "Progress 33,33 %", qRound(inner / 3.0)}};
        for (const auto& r : rows) {
            QLocale::setDefault(QLocale(QString::fromLatin1(r.locale)));
            w.ChangeProgress(QStringLiteral("Extracting: Song.wav"), r.cur, r.tot);
            QCOMPARE(w.windowTitle(), QString::fromLatin1(r.caption));
            QCOMPARE(bar->width(), r.width);
            QCOMPARE(child<QLabel>(&w, "lblStatus")->text(), QStringLiteral("Extracting: Song.wav"));
        }
        QLocale::setDefault(QLocale::c());
    }

    void cancelSetsTheFlagAndTheWindowStays() {
        QWidget owner;
        frmProgress w(&owner);
        w.ShowCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* label = child<LabelButton>(&w, "Label1");
        QTest::mouseClick(label, Qt::LeftButton);
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(mVariables::CancelRequested);
        mVariables::CancelRequested = false;
        QTest::mouseClick(child<LabelButton>(&w, "Image1"), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(mVariables::CancelRequested);
        mVariables::CancelRequested = false;
        w.close();
        QVERIFY(mVariables::CancelRequested);
        QVERIFY(w.isVisible());

        const Shape* face = child<Shape>(&w, "Shape1");
        QTest::mouseMove(label);
        QCOMPARE(face->fillColor(), twips::kRed);
        QTest::mouseMove(&w, QPoint(5, w.height() - 5));
        QCOMPARE(face->fillColor(), twips::kWhite);
    }

    void closingTheMainWindowEndsTheRunWithAValidFile() {
        testsupport::FreshProgram fresh;
        const discmaker::DiscPlan plan{{200, 100}, 7, false};
        const testsupport::ScopedDiscImages images({discmaker::WriteCueBin(fresh.folder.path(), "d", plan)});
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive, QStringLiteral("IMAGE d.cue")));
        ScriptedDialogs dialogs;
        Dorvane w(dialogs);
        w.show();
        w.Settings()->optWAV->setChecked(true);
        w.Settings()->txtOutPath->setText(fresh.folder.qpath());
        w.TrackList->SetChecked(0, true);
        w.TrackList->SetChecked(1, true);
        const QStringList names = w.TrackList->Texts();
        bool ran = false;
        QTimer::singleShot(0, &w, [&] {
            QVERIFY(child<frmProgress>(&w, "frmProgress")->isVisible());
            for (const char* command : {"mnurefresh", "mnuClear", "mnuRenAll", "mnuTP"})
                child<QAction>(&w, command)->trigger();
            emit w.Settings()->DriveList->activated(0);
            QTest::mouseClick(child<LabelButton>(&w, "Label1"), Qt::LeftButton);  // a second Extract
            QCOMPARE(w.TrackList->Texts(), names);
            QVERIFY(child<QAction>(&w, "mnuTP")->isChecked());
            QVERIFY(dialogs.boxes.empty());
            QCOMPARE(w.findChildren<frmProgress*>().size(), 1);
            w.close();
            ran = true;
        });
        QTest::mouseClick(child<LabelButton>(&w, "Label1"), Qt::LeftButton);
        QVERIFY(ran);
        QVERIFY(!w.isVisible());
        QVERIFY(w.findChildren<frmProgress*>().isEmpty());
        std::ifstream in(fresh.folder.file("Track 01 - CD1.wav"), std::ios::binary);
        const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::string expected(26 * 2352, '\0');
        for (int s = 0; s < 26; ++s)
            discmaker::FillSector(plan, s, reinterpret_cast<unsigned char*>(&expected[static_cast<std::size_t>(s) * 2352]));
        QCOMPARE(file.size(), 44 + expected.size());
        QVERIFY(file.compare(44, std::string::npos, expected) == 0);
        QCOMPARE(file.substr(40, 4), std::string("\xe0\xee\0\0", 4));  // data size: 26 sectors
        QVERIFY(!QFile::exists(fresh.folder.qpath() + QStringLiteral("/Track 02 - CD1.wav")));
    }
};

QTEST_MAIN(ProgressTest)
#include "test_frmProgress.moc"
