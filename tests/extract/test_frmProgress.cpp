// The progress window on its own, and a run from the main window: commands
// that would disturb it wait, and closing the window ends it with a valid file.

#include "ExtractFixture.h"
#include "WindowTestSupport.h"

#include "extract/frmProgress.h"
#include "general/LabelButton.h"
#include "general/Twips.h"
#include "settings/frmSettings.h"
#include "settings/modSettings.h"
#include "shell/Dorvane.h"

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
    // The bar starts full, as designed, then covers the share done. Cancel,
    // by label, image or the frame's close, sets the flag; the window stays.
    void showsTheShareDoneAndTakesCancel() {
        QWidget owner;
        frmProgress w(&owner);
        w.ShowCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int inner = child<QFrame>(&w, "picProgress1")->contentsRect().width();
        const QWidget* bar = child<QWidget>(&w, "picProgress2");
        QVERIFY(inner == twips::px(5115) && bar->width() == inner);
        const struct {
            float cur, tot;
            const char *locale, *percent;
            int width;
        } rows[] = {{26, 52, "C", "50.00", (inner + 1) / 2},
                    {5.5f, 100, "C", "05.50", qRound(inner * 0.055)},
                    {1, 3, "de_DE", "33,33", qRound(inner / 3.0)},
                    {1, 3, "C", "33.33", qRound(inner / 3.0)}};
        for (const auto& r : rows) { // C last, so that it stays the default
            QLocale::setDefault(QLocale(QString::fromLatin1(r.locale)));
            w.ChangeProgress(QStringLiteral("Extracting: Song.wav"), r.cur, r.tot);
            const QString caption = QStringLiteral("Progress %1 %").arg(QLatin1String(r.percent));
            QVERIFY2(w.windowTitle() == caption && bar->width() == r.width,
                     qPrintable(w.windowTitle()));
        }
        QCOMPARE(child<QLabel>(&w, "lblStatus")->text(), QStringLiteral("Extracting: Song.wav"));

        auto* label = child<LabelButton>(&w, "Label1");
        const std::function<void()> cancels[] = {
            [&] {
                QTest::mouseClick(label, Qt::LeftButton), QTest::mouseClick(label, Qt::LeftButton);
            },
            [&] {
                QTest::mouseClick(child<LabelButton>(&w, "Image1"), Qt::LeftButton, {},
                                  QPoint(3, 3));
            },
            [&] { w.close(); }};
        for (const auto& cancel : cancels) {
            mVariables::CancelRequested = false;
            cancel();
            QVERIFY(mVariables::CancelRequested && w.isVisible());
        }
        QTest::mouseMove(label);
        const QColor over = child<Shape>(&w, "Shape1")->fillColor();
        QTest::mouseMove(&w, QPoint(5, w.height() - 5)); // onto the bare window
        QVERIFY(over == twips::kRed && child<Shape>(&w, "Shape1")->fillColor() == twips::kWhite);
    }

    void closingTheMainWindowEndsTheRunWithAValidFile() {
        testsupport::FreshProgram fresh;
        extracttest::OpenDisc disc({200, 100});
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive,
                                          QStringLiteral("IMAGE disc.cue")));
        Dorvane w(disc.dialogs);
        w.show();
        w.Settings()->optWAV->setChecked(true);
        w.Settings()->txtOutPath->setText(disc.folder.qpath());
        for (int i : {0, 1})
            w.TrackList->SetChecked(i, true);
        w.TrackList->SetItemText(1, QStringLiteral("Outro")); // a reload would undo it
        const auto greyed = [&] {
            bool all = !(w.TrackList->item(0)->flags() & Qt::ItemIsUserCheckable);
            for (const char* command :
                 {"mnurefresh", "mnuClear", "mnuRenAll", "mnuTP", "mnuChangeName", "mnuSelectAll"})
                all = all && !child<QAction>(&w, command)->isEnabled();
            return all;
        };
        QTimer::singleShot(0, &w, [&] {
            // What would do nothing during the run is greyed, and does nothing.
            QVERIFY(greyed());
            for (const char* command : {"mnurefresh", "mnuClear", "mnuRenAll", "mnuTP"})
                child<QAction>(&w, command)->trigger();
            emit w.Settings()->driveChosen(0);
            QTest::mouseClick(child<LabelButton>(&w, "Label1"), Qt::LeftButton); // a second Extract
            QVERIFY(child<frmProgress>(&w, "frmProgress")->isVisible() &&
                    !w.Settings()->DriveList->isEnabled());
            QCOMPARE(w.TrackList->Texts(),
                     (QStringList{QStringLiteral("Track 01 - CD1"), QStringLiteral("Outro")}));
            QVERIFY(child<QAction>(&w, "mnuTP")->isChecked() && disc.dialogs.boxes.empty() &&
                    w.findChildren<frmProgress*>().size() == 1);
            w.close();
        });
        QTest::mouseClick(child<LabelButton>(&w, "Label1"), Qt::LeftButton);
        QVERIFY(!w.isVisible() && w.findChildren<frmProgress*>().isEmpty());
        QVERIFY(child<QAction>(&w, "mnurefresh")->isEnabled() && !greyed());
        // The track ends after a block, with a header that says so; the next
        // one leaves no trace.
        const std::string wav = extracttest::ReadAll(disc.folder.file("Track 01 - CD1.wav"));
        QVERIFY(wav.size() >= 44 && wav == disc.Wav(0, std::int32_t(wav.size() - 44) / 2352));
        QVERIFY(!QFile::exists(disc.Out("Outro.wav")));
    }
};

QTEST_MAIN(ProgressTest)
#include "test_frmProgress.moc"
