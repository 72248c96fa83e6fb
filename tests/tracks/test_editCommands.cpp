// The main window's Edit menu, its pop-up, the Track no/prefix option and the
// label-buttons' hover colours, on a real disc image. Message boxes are
// answered by ScriptedDialogs; keys and clicks are real Qt Test events.

#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "general/Twips.h"

#include <QMenu>
#include <QTimer>
#include <QtTest>

class EditCommandsTest : public QObject {
    Q_OBJECT

    std::optional<testsupport::MainWindowRig> r_;
    Dorvane* w_ = nullptr;

    // A main window listing a disc of `tracks` tracks, shown and active.
    void start(int tracks) {
        r_->discs({{"disc", std::vector<std::int32_t>(static_cast<size_t>(tracks), 200)}});
        QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive,
                                          QStringLiteral("IMAGE disc.cue")));
        w_ = &r_->open();
    }
    QAction* action(const char* name) { return testsupport::child<QAction>(w_, name); }
    QList<bool> marks() {
        QList<bool> m;
        for (int i = 0; i < w_->TrackList->Count(); ++i)
            m << w_->TrackList->IsChecked(i);
        return m;
    }

  private slots:
    void init() { r_.emplace(); }
    void cleanup() { r_.reset(); }

    // Every caption and shortcut; Select All inverts each mark and names
    // itself after the last one; the entries follow the list when the menu
    // opens, from the menu bar or as a pop-up.
    void menusAndSelectAll() {
        start(3);
        for (const char* entry :
             {"mnuSave|Save Track list|", "mnuPrint|Print track list|", "mnuFExit|Exit|Ctrl+X",
              "mnuChangeName|Rename|F3", "mnuRenAll|Rename All|F4", "mnuClear|Clear|Ctrl+W",
              "mnurefresh|Refresh|F5", "mnuSelectAll|Select All|Ctrl+A", "mnuSettings|Setings|",
              "mnuTP|Track no/prefix|", "mnuHHelp|Help|F1", "mnuHAbout|About|",
              "mnuHRepBug|Report Bug|", "mnuHHomepage|Visit Homepage|",
              "mnuUpdate|Check for new version|"}) {
            const QStringList e = QString::fromLatin1(entry).split(u'|');
            QCOMPARE(action(qPrintable(e[0]))->text(), e[1]);
            QCOMPARE(action(qPrintable(e[0]))->shortcut(), QKeySequence(e[2]));
        }
        QVERIFY(action("mnuTP")->isChecked());
        w_->TrackList->SetChecked(0, true);
        w_->TrackList->SetChecked(2, true);
        QTest::keyClick(w_, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(marks(), (QList<bool>{false, true, false}));
        QCOMPARE(action("mnuSelectAll")->text(),
                 QStringLiteral("Select All")); // the last one ends unticked
        action("mnuSelectAll")->trigger();
        QCOMPARE(marks(), (QList<bool>{true, false, true}));
        QCOMPARE(action("mnuSelectAll")->text(), QStringLiteral("De-select All"));

        // The entries keep their state until the menu opens on an empty list;
        // the right button (only that one) opens it at the pointer.
        w_->TrackList->clear();
        QVERIFY(action("mnuSelectAll")->isEnabled());
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
        QTest::mousePress(viewport, Qt::RightButton, {}, QPoint(30, 40));
        QTest::mouseRelease(viewport, Qt::RightButton, {}, QPoint(30, 40));
        QMenu* edit = testsupport::child<QMenu>(w_, "mnuPopup");
        QCOMPARE(popup, static_cast<QWidget*>(edit));
        QCOMPARE(where, viewport->mapToGlobal(QPoint(30, 40)));
        for (const char* name : {"mnuChangeName", "mnuRenAll", "mnuClear", "mnuSelectAll"})
            QVERIFY2(!action(name)->isEnabled(), name);
        // F5 refills the list; the entries wake up at the next opening only.
        QTest::keyClick(w_, Qt::Key_F5);
        QTest::keyClick(w_, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(marks(), (QList<bool>{false, false, false}));
        edit->popup(w_->mapToGlobal(QPoint(40, 10))); // as from the menu bar
        QVERIFY(QTest::qWaitForWindowExposed(edit));
        edit->close();
        QTest::keyClick(w_, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(marks(), (QList<bool>{true, true, true}));
    }

    // Clear asks first, and Yes reads another disc. After every fill nothing
    // is current and Rename takes the first track, so F3 on a list with
    // tracks opens the window, once; on an empty list it opens nothing.
    void clearAndF3AfterEveryFill() {
        start(2);
        r_->dialogs.answers = {Dialogs::Answer::Yes, Dialogs::Answer::No};
        // The person swaps the disc while the second box stands on screen.
        r_->dialogs.onMsgBox = [this](const ScriptedDialogs::Box& box) {
            if (box.title == QStringLiteral("Insert CD"))
                testsupport::MakeImage(r_->folder, "disc", std::vector<std::int32_t>(6, 100), 7);
        };
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
            QVERIFY(QTest::qWaitForWindowActive(w_));
        }
        QCOMPARE(w_->TrackList->Count(), 6);
        const auto& boxes = r_->dialogs.boxes;
        QCOMPARE(boxes.size(), size_t(2));
        QVERIFY(boxes[0].title == QStringLiteral("Confirm") &&
                boxes[0].buttons == Dialogs::Buttons::YesNo);
        QCOMPARE(boxes[0].text, QStringLiteral("Would you like to rip another CD?"));
        QCOMPARE(boxes[1].text, QStringLiteral("Please click ok after inserting another CD"));
        QTest::keyClick(w_, Qt::Key_W, Qt::ControlModifier); // No: the list is only emptied
        QCOMPARE(boxes.size(), size_t(3));
        QCOMPARE(w_->TrackList->Count(), 0);
        QTest::keyClick(w_->TrackList, Qt::Key_F3);
        QVERIFY(!frmChangeTrack::Instance());
    }

    void hoverColoursFollowThePointer() {
        start(1);
        auto shape = [this](int i) {
            return w_->findChild<Shape*>(QStringLiteral("Shape%1").arg(i))->fillColor();
        };
        auto label = [this](int i) {
            return w_->findChild<LabelButton*>(QStringLiteral("Label%1").arg(i));
        };
        QTest::mouseMove(label(1));
        QCOMPARE(shape(1), twips::kBlue);
        QTest::mouseMove(label(2));
        QCOMPARE(shape(1), twips::kWhite);
        QCOMPARE(shape(2), twips::kBlue);
        QTest::mouseMove(w_->TrackList->viewport(), QPoint(10, 10));
        w_->DoColors(7); // neither the list nor a value out of range changes a colour
        QCOMPARE(shape(2), twips::kBlue);
        QTest::mouseMove(w_->centralWidget(), QPoint(w_->centralWidget()->width() - 3, 140));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(shape(i), twips::kWhite);
    }

    // Refused while default names remain, and on an empty list; otherwise
    // every name is rewritten and the choice is recorded first.
    void trackNumberOption() {
        start(12);
        QAction* option = action("mnuTP");
        option->trigger();
        QCOMPARE(
            r_->dialogs.boxes.back().text,
            QStringLiteral("Track number and prefix cannot be excluded until tracks are re-named"));
        QCOMPARE(r_->dialogs.boxes.back().title, QStringLiteral("Dorvane"));
        QCOMPARE(r_->saved(modSettings::kIncludes), QStringLiteral("unset"));

        w_->TrackList->SetItemText(0, QStringLiteral("Intro 01 - CD1"));
        w_->TrackList->SetItemText(1, QStringLiteral("Song 02 - CD2"));
        option->trigger();
        QVERIFY(!option->isChecked());
        QCOMPARE(r_->saved(modSettings::kIncludes), QStringLiteral("0"));
        QCOMPARE(w_->TrackList->Texts().mid(0, 3).join(u'|'), QStringLiteral("Intro|Song|Track"));
        option->trigger();
        QCOMPARE(r_->saved(modSettings::kIncludes), QStringLiteral("1"));
        QCOMPARE(w_->TrackList->ItemText(1), QStringLiteral("Song 2 - CD1"));
        QCOMPARE(w_->TrackList->ItemText(11), QStringLiteral("Track 12 - CD1"));

        w_->TrackList->clear();
        option->trigger();
        QCOMPARE(
            r_->dialogs.boxes.back().text,
            QStringLiteral("Cannot change this option because there are no tracks in the list"));
        QCOMPARE(r_->dialogs.boxes.size(), size_t(2));
        QVERIFY(option->isChecked());
    }
};

QTEST_MAIN(EditCommandsTest)
#include "test_editCommands.moc"
