// The progress window on its own, and extraction from the main window: the
// commands that would disturb a run wait, and closing the main window ends
// the run after the current block with a valid file.

#include "ExtractFixture.h"
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
        QVERIFY(inner == twips::px(5115) && bar->width() == inner);  // the design state fills the track
        const struct {
            float cur, tot;
            const char* locale;
            const char* caption;
            int width;
        } rows[] = {{26, 52, "C", "Progress 50.00 %", (inner + 1) / 2},
                    {1, 3, "C", "Progress 33.33 %", qRound(inner / 3.0)},
                    {5.5f, 100, "C", "Progress 05.50 %", qRound(inner * 0.055)},
                    {100, 100, "C", "Progress 100.00 %", inner},
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
        const std::function<void()> cancels[] = {
            [&] { QTest::mouseClick(label, Qt::LeftButton), QTest::mouseClick(label, Qt::LeftButton); },
            [&] { QTest::mouseClick(child<LabelButton>(&w, "Image1"), Qt::LeftButton, {}, QPoint(3, 3)); },
            [&] { w.close(); }};  // through the window's frame
        for (const auto& cancel : cancels) {
            mVariables::CancelRequested = false;
            cancel();
            QVERIFY(mVariables::CancelRequested && w.isVisible());
        }

        const Shape* face = child<Shape>(&w, "Shape1");
        QTest::mouseMove(label);
        QCOMPARE(face->fillColor(), twips::kRed);
        QTest::mouseMove(&w, QPoint(5, w.height() - 5));
        QCOMPARE(face->fillColor(), twips::kWhite);
    }

    void closingTheMainWindowEndsTheRunWithAValidFile() {
        testsupport::FreshProgram fresh;
        extracttest::OpenDisc disc({200, 100});
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive, QStringLiteral("IMAGE disc.cue")));
        Dorvane w(disc.dialogs);
        w.show();
        w.Settings()->optWAV->setChecked(true);
        w.Settings()->txtOutPath->setText(disc.folder.qpath());
        w.TrackList->SetChecked(0, true);
        w.TrackList->SetChecked(1, true);
        const QStringList names = w.TrackList->Texts();
        bool ran = false;
        QTimer::singleShot(0, &w, [&] {
            QVERIFY(child<frmProgress>(&w, "frmProgress")->isVisible());
            for (const char* command : {"mnurefresh", "mnuClear", "mnuRenAll", "mnuTP"})
                child<QAction>(&w, command)->trigger();
            QVERIFY(!w.Settings()->DriveList->isEnabled());
            emit w.Settings()->driveChosen(0);
            QTest::mouseClick(child<LabelButton>(&w, "Label1"), Qt::LeftButton);  // a second Extract
            QCOMPARE(w.TrackList->Texts(), names);
            QVERIFY(child<QAction>(&w, "mnuTP")->isChecked() && disc.dialogs.boxes.empty());
            QCOMPARE(w.findChildren<frmProgress*>().size(), 1);
            w.close();
            ran = true;
        });
        QTest::mouseClick(child<LabelButton>(&w, "Label1"), Qt::LeftButton);
        QVERIFY(ran && !w.isVisible() && w.findChildren<frmProgress*>().isEmpty());
        QVERIFY(extracttest::ReadAll(disc.folder.file("Track 01 - CD1.wav")) == disc.Wav(0, 26));
        QVERIFY(!QFile::exists(disc.Out("Track 02 - CD1.wav")));
    }
};

QTEST_MAIN(ProgressTest)
#include "test_frmProgress.moc"
