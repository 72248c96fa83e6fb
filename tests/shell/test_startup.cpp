// Start-up, reload and the settings window, on disc images read by libcdio.
// Each test gets its own application folder (so its own Dorvane.ini) and its
// own set of images in DORVANE_DISC_IMAGES; message boxes and the folder
// browser are answered by ScriptedDialogs.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "cd/akrip32_testing.h"
#include "cd/modAKRip32.h"
#include "settings/IniFile.h"
#include "settings/frmSettings.h"
#include "settings/modSettings.h"
#include "shell/Dorvane.h"
#include "general/LabelButton.h"
#include "general/Twips.h"
#include "shell/modStartup.h"
#include "tracks/TrackListBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>
#include <memory>

using testsupport::MakeImage;
using testsupport::ScopedDiscImages;
using testsupport::TempFolder;

class StartupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::FreshProgram> fresh_;
    const TempFolder* folder_ = nullptr;
    ScriptedDialogs dialogs_;

    void saveSetting(const QString& key, const QString& value) {
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, key, value));
    }
    static QStringList names(const Dorvane& w) { return w.TrackList->Texts(); }
    static void chooseDrive(frmSettings* s, int position) {
        s->DriveList->setCurrentIndex(position);
        emit s->DriveList->activated(position);
    }

private slots:
    void init() {
        fresh_ = std::make_unique<testsupport::FreshProgram>();
        folder_ = &fresh_->folder;
        dialogs_ = ScriptedDialogs();
    }
    void cleanup() { fresh_.reset(); }

    void firstStartAsksForADrive() {
        ScopedDiscImages images({MakeImage(*folder_, "a", {3000, 4000})});
        Dorvane w(dialogs_);
        QCOMPARE(dialogs_.boxes.size(), size_t(1));
        const auto& box = dialogs_.boxes[0];
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.icon, Dialogs::Icon::Exclamation);
        QCOMPARE(box.buttons, Dialogs::Buttons::Ok);
        QCOMPARE(box.text, QStringLiteral("Either there is no cd in the drive, or you have not yet "
                                          "selected the drive you wish to use.\r\n\r\nPlease select "
                                          "a drive in the Settings options, or insert a CD"));
        QCOMPARE(w.TrackList->Count(), 0);
        QCOMPARE(w.Settings()->DriveList->count(), 1);
        QCOMPARE(w.Settings()->DriveList->itemText(0), QStringLiteral("IMAGE a.cue"));
        QCOMPARE(w.Settings()->txtOutPath->text(), modStartup::DefaultOutputFolder());
        QVERIFY(!QFile::exists(modSettings::SettingsFilePath()));
    }

    void savedDriveOpensThatDrive() {
        ScopedDiscImages images({MakeImage(*folder_, "a", {3000, 4000}),
                                 MakeImage(*folder_, "b", std::vector<std::int32_t>(12, 300))});
        saveSetting(modSettings::kDrive, QStringLiteral("IMAGE b.cue"));
        saveSetting(modSettings::kOutpath, QStringLiteral("/srv/music"));
        Dorvane w(dialogs_);
        QVERIFY(dialogs_.boxes.empty());
        QStringList expected;
        for (int i = 1; i <= 12; ++i)
            expected << QStringLiteral("Track %1 - CD1").arg(i, 2, 10, QLatin1Char('0'));
        QCOMPARE(names(w), expected);
        for (int i = 0; i < 12; ++i)
            QVERIFY(!w.TrackList->IsChecked(i));
        QCOMPARE(w.TrackList->CurrentIndex(), -1);
        QCOMPARE(w.Settings()->DriveList->currentText(), QStringLiteral("IMAGE b.cue"));
        QCOMPARE(w.Settings()->txtOutPath->text(), QStringLiteral("/srv/music"));
    }

    void savedDriveMatchingNoEntryFailsQuietly() {
        ScopedDiscImages images({MakeImage(*folder_, "a", {3000, 4000})});
        saveSetting(modSettings::kDrive, QStringLiteral("IMAGE gone.cue"));
        Dorvane w(dialogs_);
        QVERIFY(dialogs_.boxes.empty());
        QCOMPARE(w.TrackList->Count(), 0);
        QCOMPARE(w.Settings()->DriveList->currentText(), QStringLiteral("IMAGE gone.cue"));
        // The open failed, so the folder is what the settings window loaded.
        QCOMPARE(w.Settings()->txtOutPath->text(), QString());
    }

    void emptySavedFolderGetsTheDefault() {
        ScopedDiscImages images({MakeImage(*folder_, "a", {3000})});
        saveSetting(modSettings::kDrive, QStringLiteral("IMAGE a.cue"));
        saveSetting(modSettings::kOutpath, QString());
        Dorvane w(dialogs_);
        QCOMPARE(names(w), QStringList{QStringLiteral("Track 01 - CD1")});
        QCOMPARE(w.Settings()->txtOutPath->text(), modStartup::DefaultOutputFolder());
    }

    void refreshReloadsEverythingOnce() {
        ScopedDiscImages images({MakeImage(*folder_, "a", {3000, 4000}), MakeImage(*folder_, "b", {500})});
        saveSetting(modSettings::kDrive, QStringLiteral("IMAGE a.cue"));
        Dorvane w(dialogs_);
        frmSettings* s = w.Settings();
        s->cmbQuality->setCurrentIndex(2);
        s->cmbBitrate->setCurrentIndex(13);
        s->optWAV->setChecked(true);
        w.TrackList->SetChecked(1, true);
        QAction* refresh = w.findChild<QAction*>(QStringLiteral("mnurefresh"));
        refresh->trigger();
        refresh->trigger();
        QCOMPARE(s->DriveList->count(), 2);
        QCOMPARE(s->cmbQuality->currentText(), QStringLiteral("Normal"));
        QCOMPARE(s->cmbBitrate->currentText(), QStringLiteral("160"));
        QVERIFY(s->optWAV->isChecked());  // the format is not reset
        QCOMPARE(names(w), (QStringList{QStringLiteral("Track 01 - CD1"), QStringLiteral("Track 02 - CD1")}));
        QVERIFY(!w.TrackList->IsChecked(1));
        QVERIFY(dialogs_.boxes.empty());
    }

    void driveSwitchToAnEmptyDriveAndBack() {
        ScopedDiscImages images({MakeImage(*folder_, "a", {3000, 4000, 500}),
                                 folder_->path() + "/nodisc.cue"});
        saveSetting(modSettings::kDrive, QStringLiteral("IMAGE a.cue"));
        Dorvane w(dialogs_);
        frmSettings* s = w.Settings();
        QCOMPARE(w.TrackList->Count(), 3);

        chooseDrive(s, 1);
        QCOMPARE(w.TrackList->Count(), 0);
        const int stale = modAKRip32::Drive().CDHandle;
        QVERIFY(stale != 0);  // the drive opened but has no table to read

        chooseDrive(s, 0);
        QCOMPARE(w.TrackList->Count(), 3);
        // The handle of the empty drive was closed on the way back: the
        // library would refuse a second handle on a drive still held.
        const auto empty = modAKRip32::GetCDEntry(1);
        QVERIFY(empty.has_value());
        akrip::GETCDHAND request{};
        request.size = 12;
        request.ver = 1;
        request.ha = empty->ha;
        request.tgt = empty->tgt;
        request.lun = empty->lun;
        const int again = akrip::GetCDHandle(&request);
        QVERIFY(again != 0);
        akrip::CloseCDHandle(again);
        QVERIFY(dialogs_.boxes.empty());
    }

    void shorterDiscAfterLongerKeepsNoOldEntries() {
        ScopedDiscImages images({MakeImage(*folder_, "long", std::vector<std::int32_t>(20, 100)),
                                 MakeImage(*folder_, "short", {100, 100})});
        saveSetting(modSettings::kDrive, QStringLiteral("IMAGE long.cue"));
        Dorvane w(dialogs_);
        QCOMPARE(w.TrackList->Count(), 20);
        chooseDrive(w.Settings(), 1);
        QCOMPARE(w.TrackList->Count(), 2);
    }

    void saveStoresDriveAndFolderForTheNextStart() {
        ScopedDiscImages images({MakeImage(*folder_, "a", {3000}), MakeImage(*folder_, "b", {300, 300})});
        {
            Dorvane w(dialogs_);
            frmSettings* s = w.Settings();
            w.show();
            s->ShowSettings();
            chooseDrive(s, 1);
            QCOMPARE(w.TrackList->Count(), 2);
            s->txtOutPath->clear();
            QTest::keyClicks(s->txtOutPath, QStringLiteral("/data/rips "));
            QTest::mouseClick(s->findChild<LabelButton*>(QStringLiteral("Label4")), Qt::LeftButton);
            QVERIFY(!s->isVisible());
        }
        IniFile ini(modSettings::SettingsFilePath());
        QCOMPARE(ini.Read(QStringLiteral("Settings"), QStringLiteral("Drive"), QString()), QStringLiteral("IMAGE b.cue"));
        QCOMPARE(ini.Read(QStringLiteral("Settings"), QStringLiteral("Outpath"), QString()), QStringLiteral("/data/rips "));

        akrip::testing::CloseAllHandles();
        ScriptedDialogs again;
        Dorvane restarted(again);
        QVERIFY(again.boxes.empty());
        QCOMPARE(restarted.TrackList->Count(), 2);
        QCOMPARE(restarted.Settings()->txtOutPath->text(), QStringLiteral("/data/rips "));
    }

    void settingsWindowStartsWithItsDefaults() {
        ScopedDiscImages images({});
        Dorvane w(dialogs_);
        frmSettings* s = w.Settings();
        QVERIFY(!s->isVisible());
        QCOMPARE(s->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(s->size(), QSize(twips::px(6075), twips::px(2340)));
        QCOMPARE(s->cmbQuality->currentText(), QStringLiteral("Normal"));
        QCOMPARE(s->cmbBitrate->currentText(), QStringLiteral("160"));
        QCOMPARE(s->cmbQuality->count(), 10);
        QCOMPARE(s->cmbBitrate->count(), 14);
        QVERIFY(s->optMP3->isChecked());
        for (QCheckBox* box : {s->chkCopyright, s->chkCRC, s->chkOriginal, s->chkPrivate})
            QVERIFY(!box->isChecked());
        QCOMPARE(s->DriveList->count(), 0);
        QCOMPARE(s->DriveList->currentText(), QStringLiteral("Select Drive"));
        QAction* open = w.findChild<QAction*>(QStringLiteral("mnuSettings"));
        QCOMPARE(open->text(), QStringLiteral("Setings"));
        open->trigger();
        QVERIFY(s->isVisible());
    }

    void browsingAndCancellingEmptiesTheFolder() {
        ScopedDiscImages images({});
        Dorvane w(dialogs_);
        frmSettings* s = w.Settings();
        s->ShowSettings();
        auto* browse = s->findChild<LabelButton*>(QStringLiteral("Label6"));
        dialogs_.folders = {QStringLiteral("/home/me/Music"), QString()};
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(s->txtOutPath->text(), QStringLiteral("/home/me/Music"));
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(s->txtOutPath->text(), QString());
        QCOMPARE(dialogs_.browseTitles.size(), 2);
    }

    void settingsHoverColours() {
        ScopedDiscImages images({});
        Dorvane w(dialogs_);
        frmSettings* s = w.Settings();
        s->ShowSettings();
        QVERIFY(QTest::qWaitForWindowExposed(s));
        auto* shape1 = s->findChild<Shape*>(QStringLiteral("Shape1"));
        auto* shape2 = s->findChild<Shape*>(QStringLiteral("Shape2"));
        QCOMPARE(shape1->fillColor(), twips::kLightGrey);
        QTest::mouseMove(s->findChild<LabelButton*>(QStringLiteral("Label4")));
        QCOMPARE(shape1->fillColor(), twips::kWhite);
        QTest::mouseMove(s->findChild<QGroupBox*>(QStringLiteral("Frame4")), QPoint(5, 5));
        QCOMPARE(shape1->fillColor(), twips::kLightGrey);
        QTest::mouseMove(s->findChild<LabelButton*>(QStringLiteral("Label6")));
        QCOMPARE(shape2->fillColor(), twips::kWhite);
        QTest::mouseMove(s->findChild<QGroupBox*>(QStringLiteral("Frame1")), QPoint(3, 60));
        QCOMPARE(shape2->fillColor(), twips::kLightGrey);
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
