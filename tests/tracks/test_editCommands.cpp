// The main window's Edit menu, its pop-up, the Track no/prefix option and the
// label-buttons' hover colours, on a real disc image. Message boxes are
// answered by ScriptedDialogs; keys and clicks are real Qt Test events.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "settings/modSettings.h"
#include "shell/Dorvane.h"
#include "general/LabelButton.h"
#include "general/Twips.h"
#include "tracks/TrackListBox.h"
#include "tracks/frmChangeTrack.h"

#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QtTest>
#include <memory>

using testsupport::MakeImage;
using testsupport::ScopedDiscImages;
using testsupport::TempFolder;

class EditCommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::FreshProgram> fresh_;
    const TempFolder* folder_ = nullptr;
    std::unique_ptr<ScopedDiscImages> images_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<Dorvane> w_;

    // A main window listing a disc of `tracks` tracks, shown and active.
    void start(int tracks) {
        images_ = std::make_unique<ScopedDiscImages>(std::vector<std::string>{
            MakeImage(*folder_, "disc", std::vector<std::int32_t>(static_cast<size_t>(tracks), 200))});
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive,
                                          QStringLiteral("IMAGE disc.cue")));
        w_ = std::make_unique<Dorvane>(dialogs_);
        w_->show();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        w_->TrackList->setFocus();
    }
    QAction* action(const char* name) { return w_->findChild<QAction*>(QString::fromLatin1(name)); }
    QMenu* editMenu() { return w_->findChild<QMenu*>(QStringLiteral("mnuPopup")); }
    QString includes() {
        return modSettings::ReadSetting(modSettings::kSection, modSettings::kIncludes, QStringLiteral("unset"));
    }
    // Opens the Edit menu from the menu bar and closes it again.
    void openEditMenu() {
        editMenu()->popup(w_->mapToGlobal(QPoint(40, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(editMenu()));
        editMenu()->close();
    }
    QList<bool> marks() {
        QList<bool> m;
        for (int i = 0; i < w_->TrackList->Count(); ++i)
            m << w_->TrackList->IsChecked(i);
        return m;
    }

private slots:
    void init() {
        fresh_ = std::make_unique<testsupport::FreshProgram>();
        folder_ = &fresh_->folder;
        dialogs_ = ScriptedDialogs();
    }
    void cleanup() {
        if (auto* open = frmChangeTrack::Instance())
            delete open;
        w_.reset();
        images_.reset();
        fresh_.reset();
    }

    void menuBarHasEveryEntry() {
        start(1);
        for (const char* entry :
             {"mnuSave|Save Track list|", "mnuPrint|Print track list|", "mnuFExit|Exit|Ctrl+X",
              "mnuChangeName|Rename|F3", "mnuRenAll|Rename All|F4", "mnuClear|Clear|Ctrl+W",
              "mnurefresh|Refresh|F5", "mnuSelectAll|Select All|Ctrl+A", "mnuSettings|Setings|",
              "mnuTP|Track no/prefix|", "mnuHHelp|Help|F1", "mnuHAbout|About|", "mnuHRepBug|Report Bug|",
              "mnuHHomepage|Visit Homepage|", "mnuUpdate|Check for new version|"}) {
            const QStringList e = QString::fromLatin1(entry).split(u'|');
            QAction* a = w_->findChild<QAction*>(e[0]);
            QCOMPARE(a->text(), e[1]);
            QCOMPARE(a->shortcut(), QKeySequence(e[2]));
        }
        QVERIFY(action("mnuTP")->isChecked());
    }

    void selectAllAndTheEnablingRule() {
        start(3);
        w_->TrackList->SetChecked(0, true);
        w_->TrackList->SetChecked(2, true);
        QTest::keyClick(w_.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(marks(), (QList<bool>{false, true, false}));
        QCOMPARE(action("mnuSelectAll")->text(), QStringLiteral("Select All"));  // the last one ends unticked
        action("mnuSelectAll")->trigger();
        QCOMPARE(marks(), (QList<bool>{true, false, true}));
        QCOMPARE(action("mnuSelectAll")->text(), QStringLiteral("De-select All"));

        // The entries keep their state until the menu opens on an empty list.
        w_->TrackList->clear();
        QVERIFY(action("mnuSelectAll")->isEnabled());
        openEditMenu();
        for (const char* name : {"mnuChangeName", "mnuRenAll", "mnuClear", "mnuSelectAll"})
            QVERIFY2(!action(name)->isEnabled(), name);
        QVERIFY(action("mnurefresh")->isEnabled());
        // F5 refills the list; the entries wake up at the next opening only.
        QTest::keyClick(w_.get(), Qt::Key_F5);
        QTest::keyClick(w_.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(marks(), (QList<bool>{false, false, false}));
        openEditMenu();
        QTest::keyClick(w_.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(marks(), (QList<bool>{true, true, true}));
    }

    void clearEmptiesTheListAndMayReadAnotherDisc_data() {
        QTest::addColumn<bool>("another");
        QTest::addColumn<int>("tracks");
        QTest::newRow("No") << false << 0;
        QTest::newRow("Yes") << true << 6;
    }
    void clearEmptiesTheListAndMayReadAnotherDisc() {
        QFETCH(bool, another);
        start(4);
        dialogs_.answers = {another ? Dialogs::Answer::Yes : Dialogs::Answer::No};
        // The person swaps the disc while the second box stands on screen.
        dialogs_.onMsgBox = [this](const ScriptedDialogs::Box& box) {
            if (box.title == QStringLiteral("Insert CD"))
                MakeImage(*folder_, "disc", std::vector<std::int32_t>(6, 100), 7);
        };
        QTest::keyClick(w_.get(), Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(dialogs_.boxes[0].text, QStringLiteral("Would you like to rip another CD?"));
        QCOMPARE(dialogs_.boxes[0].title, QStringLiteral("Confirm"));
        QCOMPARE(dialogs_.boxes[0].buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(dialogs_.boxes.size(), size_t(another ? 2 : 1));
        if (another)
            QCOMPARE(dialogs_.boxes[1].text, QStringLiteral("Please click ok after inserting another CD"));
        QTEST(w_->TrackList->Count(), "tracks");
    }

    // One rule every time: after a fill nothing is current, and Rename then
    // takes the first track, so F3 on a list with tracks always opens the
    // window, once.
    void f3OpensTheRenameWindowAfterEveryFill() {
        start(2);
        dialogs_.answers = {Dialogs::Answer::Yes};
        for (const char* fill : {"start", "mnurefresh", "mnuClear"}) {
            if (qstrcmp(fill, "start") != 0)
                action(fill)->trigger();
            QCOMPARE(w_->TrackList->CurrentIndex(), -1);
            w_->TrackList->setFocus();
            QCOMPARE(w_->TrackList->CurrentIndex(), -1);
            QTest::keyClick(w_->TrackList, Qt::Key_F3);
            QVERIFY2(frmChangeTrack::Instance(), fill);
            QCOMPARE(w_->TrackList->CurrentIndex(), 0);
            int windows = 0;
            for (QWidget* top : QApplication::topLevelWidgets())
                windows += qobject_cast<frmChangeTrack*>(top) && top->isVisible();
            QCOMPARE(windows, 1);
            frmChangeTrack::Instance()->close();
            w_->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        }
        // An empty list opens nothing.
        w_->TrackList->clear();
        QTest::keyClick(w_->TrackList, Qt::Key_F3);
        QVERIFY(!frmChangeTrack::Instance());
    }

    void rightButtonOpensTheEditMenuAtThePointer() {
        start(2);
        QWidget* viewport = w_->TrackList->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(!QApplication::activePopupWidget());
        QWidget* popup = nullptr;
        QPoint where;
        QTimer::singleShot(50, this, [&] {
            popup = QApplication::activePopupWidget();
            if (popup) {
                where = popup->geometry().topLeft();
                popup->close();
            }
        });
        w_->TrackList->clear();
        QTest::mousePress(viewport, Qt::RightButton, {}, QPoint(30, 40));
        QCOMPARE(popup, static_cast<QWidget*>(editMenu()));
        QCOMPARE(where, viewport->mapToGlobal(QPoint(30, 40)));
        // The rule ran again after the pop-up closed: the list is empty.
        QVERIFY(!action("mnuClear")->isEnabled());
        QTest::mouseRelease(viewport, Qt::RightButton, {}, QPoint(30, 40));
    }

    void hoverColoursFollowThePointer() {
        start(1);
        auto shape = [this](int i) { return w_->findChild<Shape*>(QStringLiteral("Shape%1").arg(i))->fillColor(); };
        auto label = [this](int i) { return w_->findChild<LabelButton*>(QStringLiteral("Label%1").arg(i)); };
        QTest::mouseMove(label(1));
        QCOMPARE(shape(1), twips::kBlue);
        QTest::mouseMove(label(2));
        QCOMPARE(shape(1), twips::kWhite);
        QCOMPARE(shape(2), twips::kBlue);
        QTest::mouseMove(w_->TrackList->viewport(), QPoint(10, 10));
        QCOMPARE(shape(2), twips::kBlue);
        QTest::mouseMove(w_->centralWidget(), QPoint(w_->centralWidget()->width() - 3, 140));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(shape(i), twips::kWhite);
        w_->DoColors(7);
        QCOMPARE(shape(1), twips::kWhite);
    }

    // Refused while default names remain, and on an empty list; otherwise
    // every name is rewritten and the choice is recorded first.
    void trackNumberOption() {
        start(12);
        QAction* option = action("mnuTP");
        option->trigger();
        QCOMPARE(dialogs_.boxes.back().text,
                 QStringLiteral("Track number and prefix cannot be excluded until tracks are re-named"));
        QCOMPARE(dialogs_.boxes.back().title, QStringLiteral("Dorvane"));
        QCOMPARE(includes(), QStringLiteral("unset"));

        w_->TrackList->SetItemText(0, QStringLiteral("Intro 01 - CD1"));
        w_->TrackList->SetItemText(1, QStringLiteral("Song 02 - CD2"));
        option->trigger();
        QVERIFY(!option->isChecked());
        QCOMPARE(includes(), QStringLiteral("0"));
        QCOMPARE(w_->TrackList->Texts().mid(0, 3), (QStringList{QStringLiteral("Intro"), QStringLiteral("Song"),
                                                                QStringLiteral("Track")}));
        option->trigger();
        QCOMPARE(includes(), QStringLiteral("1"));
        QCOMPARE(w_->TrackList->ItemText(1), QStringLiteral("Song 2 - CD1"));
        QCOMPARE(w_->TrackList->ItemText(11), QStringLiteral("Track 12 - CD1"));

        w_->TrackList->clear();
        option->trigger();
        QCOMPARE(dialogs_.boxes.back().text,
                 QStringLiteral("Cannot change this option because there are no tracks in the list"));
        QCOMPARE(dialogs_.boxes.size(), size_t(2));
        QVERIFY(option->isChecked());
    }
};

QTEST_MAIN(EditCommandsTest)
#include "test_editCommands.moc"
