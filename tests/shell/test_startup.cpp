// Start-up, reload, closing and the settings window, on disc images read by
// libcdio. Each test gets its own application folder (so its own
// Dorvane.ini) and its own images in DORVANE_DISC_IMAGES; message boxes and
// the folder browser are answered by ScriptedDialogs.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "cd/akrip32_testing.h"
#include "cd/modAKRip32.h"
#include "general/FormLayout.h"
#include "general/LabelButton.h"
#include "general/Twips.h"
#include "settings/IniFile.h"
#include "settings/frmSettings.h"
#include "settings/modSettings.h"
#include "shell/Dorvane.h"
#include "shell/modStartup.h"
#include "tracks/TrackListBox.h"
#include "tracks/frmChangeTrack.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>
#include <memory>

using testsupport::MakeImage;
using testsupport::pickFromList;
using testsupport::ScopedDiscImages;

class StartupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::FreshProgram> fresh_;
    ScriptedDialogs dialogs_;

    std::string image(const char* name, std::vector<std::int32_t> lengths) {
        return MakeImage(fresh_->folder, name, std::move(lengths));
    }
    static void save(const QString& key, const QString& value) {
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, key, value));
    }
    static QString saved(const QString& key) {
        return IniFile(modSettings::SettingsFilePath()).Read(modSettings::kSection, key, QStringLiteral("unset"));
    }
    static void clickSave(frmSettings* s) {
        QTest::mouseClick(s->findChild<LabelButton*>(QStringLiteral("Label4")), Qt::LeftButton);
    }

private slots:
    void init() {
        fresh_ = std::make_unique<testsupport::FreshProgram>();
        dialogs_ = ScriptedDialogs();
    }
    void cleanup() { fresh_.reset(); }

    // No drive saved: the first start asks for one. A drive then picked
    // without Save is what Refresh reopens, and what a later Save keeps.
    void firstStartAsksForADrive() {
        ScopedDiscImages images({image("a", {3000}), image("b", {300, 300, 300})});
        Dorvane w(dialogs_);
        QCOMPARE(dialogs_.boxes.size(), size_t(1));
        const auto& box = dialogs_.boxes[0];
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.icon, Dialogs::Icon::Exclamation);
        QCOMPARE(box.text, QStringLiteral("Either there is no cd in the drive, or you have not yet "
                                          "selected the drive you wish to use.\r\n\r\nPlease select "
                                          "a drive in the Settings options, or insert a CD"));
        QCOMPARE(w.TrackList->Count(), 0);
        frmSettings* s = w.Settings();
        QCOMPARE(s->txtOutPath->text(), modStartup::DefaultOutputFolder());
        QVERIFY(!QFile::exists(modSettings::SettingsFilePath()));

        s->ShowSettings();
        pickFromList(s->DriveList, 1);
        QCOMPARE(w.TrackList->Count(), 3);
        w.findChild<QAction*>(QStringLiteral("mnurefresh"))->trigger();
        QCOMPARE(w.TrackList->Count(), 3);
        QCOMPARE(s->DriveList->currentText(), QStringLiteral("IMAGE b.cue"));
        QCOMPARE(dialogs_.boxes.size(), size_t(1));
        clickSave(s);
        QCOMPARE(saved(modSettings::kDrive), QStringLiteral("IMAGE b.cue"));
    }

    void savedDriveOpensThatDrive_data() {
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("commandLine");  // an image named on the command line
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("tracks");
        QTest::addColumn<QString>("shownFolder");
        QTest::newRow("second drive") << "IMAGE b.cue" << "" << "/srv/music" << 12 << "/srv/music";
        QTest::newRow("empty folder gets the default") << "IMAGE a.cue" << "" << "" << 2 << "default";
        // A failed open skips the folder step: it keeps what the window loaded.
        QTest::newRow("no such drive") << "IMAGE gone.cue" << "" << "" << 0 << "";
        QTest::newRow("command line wins") << "IMAGE a.cue" << "IMAGE b.cue" << "/srv" << 12 << "/srv";
    }
    void savedDriveOpensThatDrive() {
        QFETCH(QString, drive);
        QFETCH(QString, commandLine);
        QFETCH(QString, folder);
        QFETCH(QString, shownFolder);
        ScopedDiscImages images({image("a", {3000, 4000}), image("b", std::vector<std::int32_t>(12, 300))});
        save(modSettings::kDrive, drive);
        save(modSettings::kOutpath, folder);
        Dorvane w(dialogs_, commandLine);
        QCOMPARE(saved(modSettings::kDrive), drive);  // nothing is stored until Save
        QVERIFY(dialogs_.boxes.empty());
        QTEST(w.TrackList->Count(), "tracks");
        if (w.TrackList->Count() == 12) {
            QCOMPARE(w.TrackList->ItemText(8), QStringLiteral("Track 09 - CD1"));
            QCOMPARE(w.TrackList->ItemText(11), QStringLiteral("Track 12 - CD1"));
        }
        QCOMPARE(w.TrackList->CurrentIndex(), -1);
        QCOMPARE(w.Settings()->DriveList->currentText(), commandLine.isEmpty() ? drive : commandLine);
        QCOMPARE(w.Settings()->txtOutPath->text(),
                 shownFolder == QStringLiteral("default") ? modStartup::DefaultOutputFolder() : shownFolder);
    }

    void refreshReloadsEverythingOnce() {
        ScopedDiscImages images({image("a", {3000, 4000}), image("b", {500})});
        save(modSettings::kDrive, QStringLiteral("IMAGE a.cue"));
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
        QCOMPARE(w.TrackList->Count(), 2);
        QVERIFY(!w.TrackList->IsChecked(1));
        QVERIFY(dialogs_.boxes.empty());
    }


    void driveSwitchesOnlyOnAChoiceFromTheList() {
        ScopedDiscImages images({image("long", std::vector<std::int32_t>(20, 100)),
                                 fresh_->folder.path() + "/nodisc.cue", image("short", {100, 100})});
        save(modSettings::kDrive, QStringLiteral("IMAGE long.cue"));
        Dorvane w(dialogs_);
        frmSettings* s = w.Settings();
        s->ShowSettings();
        QVERIFY(QTest::qWaitForWindowActive(s));
        w.TrackList->SetItemText(0, QStringLiteral("Renamed 01 - CD1"));

        // Typing an entry's text, Enter, the wheel and arrow keys switch nothing.
        s->DriveList->lineEdit()->selectAll();
        QTest::keyClicks(s->DriveList, QStringLiteral("IMAGE short.cue"));
        QTest::keyClick(s->DriveList, Qt::Key_Return);
        QWheelEvent wheel(QPointF(5, 5), s->DriveList->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(s->DriveList, &wheel);
        QTest::keyClick(s->DriveList, Qt::Key_Down);  // opens the list, picks nothing
        QTest::keyClick(s->DriveList->view(), Qt::Key_Escape);
        QCOMPARE(w.TrackList->ItemText(0), QStringLiteral("Renamed 01 - CD1"));
        QCOMPARE(w.TrackList->Count(), 20);

        // A drive without a disc empties the list; a shorter disc keeps no
        // entry of the longer one; the empty drive's handle was closed.
        pickFromList(s->DriveList, 1);
        QCOMPARE(w.TrackList->Count(), 0);
        pickFromList(s->DriveList, 2);
        QCOMPARE(w.TrackList->Count(), 2);
        pickFromList(s->DriveList, 1);
        QCOMPARE(w.TrackList->Count(), 0);
        QVERIFY(dialogs_.boxes.empty());
    }


    // Save keeps the drive and the folder; Exit closes every window and
    // writes nothing more; the next start opens what was saved.
    void saveStoresDriveAndFolderForTheNextStart() {
        ScopedDiscImages images({image("a", {3000}), image("b", {300, 300})});
        {
            Dorvane w(dialogs_);
            frmSettings* s = w.Settings();
            w.show();
            s->ShowSettings();
            pickFromList(s->DriveList, 1);
            s->txtOutPath->clear();
            QTest::keyClicks(s->txtOutPath, QStringLiteral("/data/rips "));
            clickSave(s);
            QVERIFY(!s->isVisible());
            s->ShowSettings();
            s->txtOutPath->setText(QStringLiteral("/unsaved"));
            w.findChild<QAction*>(QStringLiteral("mnuChangeName"))->trigger();
            QVERIFY(frmChangeTrack::Instance());
            w.findChild<QAction*>(QStringLiteral("mnuFExit"))->trigger();
            QVERIFY(!w.isVisible() && !s->isVisible() && !frmChangeTrack::Instance());
        }
        QCOMPARE(saved(modSettings::kDrive), QStringLiteral("IMAGE b.cue"));
        QCOMPARE(saved(modSettings::kOutpath), QStringLiteral("/data/rips "));

        akrip::testing::CloseAllHandles();
        ScriptedDialogs again;
        Dorvane restarted(again);
        QVERIFY(again.boxes.empty());
        QCOMPARE(restarted.TrackList->Count(), 2);
        QCOMPARE(restarted.Settings()->txtOutPath->text(), QStringLiteral("/data/rips "));
    }

    void saveKeepsWhatItCannotStore() {
        ScopedDiscImages images({});
        save(modSettings::kDrive, QStringLiteral("IMAGE elsewhere.cue"));
        Dorvane w(dialogs_);
        frmSettings* s = w.Settings();
        s->ShowSettings();
        clickSave(s);
        QCOMPARE(saved(modSettings::kDrive), QStringLiteral("IMAGE elsewhere.cue"));
        s->ShowSettings();
        save(modSettings::kOutpath, QStringLiteral("/old"));
        QVERIFY(QFile::setPermissions(modSettings::SettingsFilePath(), QFileDevice::ReadOwner));
        s->txtOutPath->setText(QStringLiteral("/new"));
        clickSave(s);
        QVERIFY(s->isVisible());
        QCOMPARE(dialogs_.boxes.size(), size_t(1));
        QVERIFY(dialogs_.boxes[0].text.contains(modSettings::SettingsFilePath()));
        QCOMPARE(saved(modSettings::kOutpath), QStringLiteral("/old"));
    }

    void settingsWindowDefaultsAndFields() {
        ScopedDiscImages images({});
        Dorvane w(dialogs_);
        frmSettings* s = w.Settings();
        QVERIFY(!s->isVisible());
        QCOMPARE(s->cmbQuality->currentText(), QStringLiteral("Normal"));
        QCOMPARE(s->cmbBitrate->currentText(), QStringLiteral("160"));
        QVERIFY(s->optMP3->isChecked());
        for (QCheckBox* box : {s->chkCopyright, s->chkCRC, s->chkOriginal, s->chkPrivate})
            QVERIFY(!box->isChecked());
        QCOMPARE(s->DriveList->currentText(), QStringLiteral("Select Drive"));
        w.findChild<QAction*>(QStringLiteral("mnuSettings"))->trigger();
        QVERIFY(QTest::qWaitForWindowActive(s));

        // Typed quality text selects no entry; only a pick from the list does.
        s->cmbQuality->lineEdit()->selectAll();
        QTest::keyClicks(s->cmbQuality, QStringLiteral("High"));
        QTest::keyClick(s->cmbQuality, Qt::Key_Tab);
        QCOMPARE(s->cmbQuality->currentIndex(), -1);
        pickFromList(s->cmbQuality, 2);
        QCOMPARE(s->cmbQuality->currentIndex(), 2);

        // Browsing fills the folder; cancelling the browser empties it.
        auto* browse = s->findChild<LabelButton*>(QStringLiteral("Label6"));
        dialogs_.folders = {QStringLiteral("/home/me/Music"), QString()};
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(s->txtOutPath->text(), QStringLiteral("/home/me/Music"));
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(s->txtOutPath->text(), QString());

        // The design's fonts land on free faces of the same widths.
        for (auto [design, face] : {std::pair{"Comic Sans MS", "Comic Neue"}, {"MS Sans Serif", "Liberation Sans"},
                                    {"Arial", "Liberation Sans"}, {"Verdana", "DejaVu Sans"}})
            QCOMPARE(QFontInfo(QFont(QString::fromLatin1(design))).family(), QString::fromLatin1(face));
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
