// Start-up, reload, closing and the settings window, on disc images read by
// libcdio: each test has a MainWindowRig, so its own Dorvane.ini, its own
// images and ScriptedDialogs for the message boxes and the folder browser.

#include "WindowTestSupport.h"

#include "DiscMaker.h"

#include "general/LabelButton.h"
#include "shell/modStartup.h"

#include <QFontInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

using namespace modSettings;
using testsupport::child;
using testsupport::pickFromList;

class StartupTest : public QObject {
    Q_OBJECT

    std::optional<testsupport::MainWindowRig> r_;
    static void clickSave(frmSettings* s) {
        QTest::mouseClick(child<LabelButton>(s, "Label4"), Qt::LeftButton);
    }

  private slots:
    void init() { r_.emplace(); }
    void cleanup() { r_.reset(); }

    // From the first start to the next, on two images of the same file name,
    // which show their folders: no drive saved asks for one; Save never
    // stores the "Select Drive" placeholder; a drive picked without Save is
    // what Refresh reopens and what a later Save keeps; Exit closes every
    // window and writes nothing; the next start opens what was saved; a Save
    // that cannot write names the file and keeps the window open.
    void firstStartToTheNextStart() {
        std::vector<std::string> sheets;
        for (const auto& [folder, lengths] : {std::pair{"a", std::vector<std::int32_t>{3000}},
                                              {"b", std::vector<std::int32_t>(3, 300)}}) {
            QVERIFY(QDir(r_->folder.qpath()).mkpath(QString::fromLatin1(folder)));
            sheets.push_back(discmaker::WriteCueBin(r_->folder.file(folder), "album", {lengths}));
        }
        r_->images.emplace(sheets);
        Dorvane& w = r_->open();
        QCOMPARE(r_->dialogs.boxes.size(), size_t(1));
        const auto& box = r_->dialogs.boxes[0];
        QVERIFY(box.title == QStringLiteral("Error") && box.icon == Dialogs::Icon::Exclamation);
        QCOMPARE(box.text,
                 QStringLiteral("Either there is no cd in the drive, or you have not yet "
                                "selected the drive you wish to use.\r\n\r\nPlease select "
                                "a drive in the Settings options, or insert a CD"));
        QCOMPARE(w.TrackList->Count(), 0);
        frmSettings* s = w.Settings();
        QCOMPARE(s->txtOutPath->text(), modStartup::DefaultOutputFolder());
        QVERIFY(!QFile::exists(SettingsFilePath()));
        s->ShowSettings();
        clickSave(s);
        QCOMPARE(r_->saved(kDrive), QStringLiteral("unset"));

        s->ShowSettings();
        QCOMPARE(s->DriveList->itemText(0), QStringLiteral("IMAGE a/album.cue"));
        pickFromList(s->DriveList, 1);
        child<QAction>(&w, "mnurefresh")->trigger();
        QCOMPARE(w.TrackList->Count(), 3);
        QCOMPARE(s->DriveList->currentText(), QStringLiteral("IMAGE b/album.cue"));
        QCOMPARE(r_->dialogs.boxes.size(), size_t(1));
        s->txtOutPath->clear();
        QTest::keyClicks(s->txtOutPath, QStringLiteral("/data/rips "));
        clickSave(s);
        QVERIFY(!s->isVisible());
        QCOMPARE(r_->saved(kDrive), QStringLiteral("IMAGE b/album.cue"));

        s->ShowSettings();
        s->txtOutPath->setText(QStringLiteral("/unsaved"));
        child<QAction>(&w, "mnuChangeName")->trigger();
        QVERIFY(frmChangeTrack::Instance());
        child<QAction>(&w, "mnuFExit")->trigger();
        QVERIFY(!w.isVisible() && !s->isVisible() && !frmChangeTrack::Instance());
        QCOMPARE(r_->saved(kOutpath), QStringLiteral("/data/rips "));

        r_->dialogs.boxes.clear();
        Dorvane& again = r_->open();
        QVERIFY(r_->dialogs.boxes.empty());
        QCOMPARE(again.TrackList->Count(), 3);
        s = again.Settings();
        QCOMPARE(s->txtOutPath->text(), QStringLiteral("/data/rips "));
        QVERIFY(QFile::setPermissions(SettingsFilePath(), QFileDevice::ReadOwner));
        s->ShowSettings();
        s->txtOutPath->setText(QStringLiteral("/new"));
        clickSave(s);
        QVERIFY(s->isVisible());
        QCOMPARE(r_->dialogs.boxes.size(), size_t(1));
        QVERIFY(r_->dialogs.boxes[0].text.contains(SettingsFilePath()));
        QCOMPARE(r_->saved(kOutpath), QStringLiteral("/data/rips "));
        // Listed alone, it shows as "IMAGE album.cue", and is still the one saved.
        r_->images.emplace(std::vector{sheets[1]});
        QCOMPARE(r_->open().TrackList->Count(), 3);
    }

    void savedDriveOpensThatDrive_data() {
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("commandLine"); // an image named on the command line
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("tracks");
        QTest::addColumn<QString>("shownFolder");
        const auto row = [](const char* name, const char* drive, const char* commandLine,
                            const char* folder, int tracks, const char* shownFolder) {
            QTest::newRow(name) << drive << commandLine << folder << tracks << shownFolder;
        };
        row("empty folder gets the default", "IMAGE a.cue", "", "", 2, "default");
        // A failed open skips the folder step: it keeps what the window loaded.
        row("no such drive", "IMAGE gone.cue", "", "", 0, "");
        row("command line wins", "IMAGE a.cue", "IMAGE b.cue", "/srv", 12, "/srv");
    }
    void savedDriveOpensThatDrive() {
        QFETCH(QString, drive);
        QFETCH(QString, commandLine);
        QFETCH(QString, folder);
        QFETCH(QString, shownFolder);
        r_->discs({{"a", {3000, 4000}}, {"b", std::vector<std::int32_t>(12, 300)}});
        QVERIFY(WriteSetting(kSection, kDrive, drive));
        QVERIFY(WriteSetting(kSection, kOutpath, folder));
        Dorvane& w = r_->open(commandLine);
        QCOMPARE(r_->saved(kDrive), drive); // nothing is stored until Save
        QVERIFY(r_->dialogs.boxes.empty());
        QTEST(w.TrackList->Count(), "tracks");
        QCOMPARE(w.TrackList->CurrentIndex(), -1);
        QCOMPARE(w.Settings()->DriveList->currentText(),
                 commandLine.isEmpty() ? drive : commandLine);
        QCOMPARE(w.Settings()->txtOutPath->text(), shownFolder == QStringLiteral("default")
                                                       ? modStartup::DefaultOutputFolder()
                                                       : shownFolder);
    }

    // Refresh runs the whole load again; in the window only a pick from the
    // open list chooses a quality or a drive.
    void settingsWindowAndRefresh() {
        r_->discs(
            {{"long", std::vector<std::int32_t>(20, 100)}, {"nodisc", {}}, {"short", {100, 100}}});
        QVERIFY(WriteSetting(kSection, kDrive, QStringLiteral("IMAGE long.cue")));
        Dorvane& w = r_->open();
        frmSettings* s = w.Settings();
        QVERIFY(s->optMP3->isChecked());
        s->cmbQuality->setCurrentIndex(2);
        s->cmbBitrate->setCurrentIndex(13);
        s->optWAV->setChecked(true);
        w.TrackList->SetChecked(1, true);
        child<QAction>(&w, "mnurefresh")->trigger();
        child<QAction>(&w, "mnurefresh")->trigger();
        QCOMPARE(s->DriveList->count(), 3);
        QCOMPARE(s->cmbQuality->currentText(), QStringLiteral("Normal"));
        QCOMPARE(s->cmbBitrate->currentText(), QStringLiteral("160"));
        QVERIFY(s->optWAV->isChecked()); // the format is not reset
        QCOMPARE(w.TrackList->Count(), 20);
        QVERIFY(!w.TrackList->IsChecked(1));

        child<QAction>(&w, "mnuSettings")->trigger();
        QVERIFY(QTest::qWaitForWindowActive(s));
        s->cmbQuality->lineEdit()->selectAll();
        QTest::keyClicks(s->cmbQuality, QStringLiteral("High"));
        QTest::keyClick(s->cmbQuality, Qt::Key_Tab);
        QCOMPARE(s->cmbQuality->currentIndex(), -1);
        pickFromList(s->cmbQuality, 2);
        QCOMPARE(s->cmbQuality->currentIndex(), 2);

        // Browsing fills the folder; cancelling the browser empties it.
        auto* browse = child<LabelButton>(s, "Label6");
        r_->dialogs.folders = {QStringLiteral("/home/me/Music"), QString()};
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(s->txtOutPath->text(), QStringLiteral("/home/me/Music"));
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(s->txtOutPath->text(), QString());

        // Typing an entry's text, Enter, the wheel and arrow keys switch nothing.
        w.TrackList->SetItemText(0, QStringLiteral("Renamed 01 - CD1"));
        const int shown = s->DriveList->currentIndex();
        s->DriveList->lineEdit()->selectAll();
        QTest::keyClicks(s->DriveList, QStringLiteral("IMAGE short.cue"));
        QTest::keyClick(s->DriveList, Qt::Key_Return);
        QWheelEvent wheel(QPointF(5, 5), s->DriveList->mapToGlobal(QPointF(5, 5)), {},
                          QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(s->DriveList, &wheel);
        QTest::keyClick(s->DriveList, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(s->DriveList, Qt::Key_Down); // opens the list, picks nothing
        QTest::keyClick(s->DriveList->view(), Qt::Key_Escape);
        QCOMPARE(s->DriveList->currentIndex(), shown);
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
        QVERIFY(r_->dialogs.boxes.empty());

        // The design's fonts land on free faces of the same widths.
        for (auto [design, face] : {std::pair{"Comic Sans MS", "Comic Neue"},
                                    {"MS Sans Serif", "Liberation Sans"},
                                    {"Arial", "Liberation Sans"},
                                    {"Verdana", "DejaVu Sans"}})
            QCOMPARE(QFontInfo(QFont(QString::fromLatin1(design))).family(),
                     QString::fromLatin1(face));
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
