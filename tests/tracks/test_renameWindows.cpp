// The two rename windows over a stand-in for the main window's list and its
// Track no/prefix option: frmChangeTrack renames the current track,
// frmRenAll every track at once.

#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "tracks/TrackListBox.h"
#include "tracks/frmChangeTrack.h"
#include "tracks/frmRenAll.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>

namespace {

using testsupport::child;
using testsupport::ListOwner;


// Deleted windows go away at the next turn of the event loop; take that turn now.
void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

const QStringList kNames{QStringLiteral("Track 01 - CD1"), QStringLiteral("Track 02 - CD1"),
                         QStringLiteral("Track 03 - CD1")};

QLineEdit* txtNew(QWidget* w) { return child<QLineEdit>(w, "txtNew"); }
void ok(QWidget* w) { QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton); }



// The main window's list and option, and the dialog over them, on screen.
struct Session : testsupport::ListOwner {
    std::unique_ptr<frmRenAll> dlg;
    QTreeWidget* List1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QComboBox* cboPrefix = nullptr;

    Session(const QStringList& names, bool numbered) : ListOwner(names, numbered) {
        dlg = std::make_unique<frmRenAll>(&owner, list, &option);
        List1 = find<QTreeWidget>("List1");
        Text1 = find<QLineEdit>("Text1");
        cboPrefix = find<QComboBox>("cboPrefix");
        dlg->show();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    }

    template <typename T>
    T* find(const char* name) const { return child<T>(dlg.get(), name); }
    QStringList column(int c) const {
        QStringList texts;
        for (int i = 0; i < List1->topLevelItemCount(); ++i)
            texts << List1->topLevelItem(i)->text(c);
        return texts;
    }
    void clickRow(int row) const {
        const QRect where = List1->visualItemRect(List1->topLevelItem(row));
        QTest::mouseClick(List1->viewport(), Qt::LeftButton, {}, where.center());
    }
    void click(const char* label) const { QTest::mouseClick(find<LabelButton>(label), Qt::LeftButton); }
};

QStringList list(std::initializer_list<const char*> texts) {
    QStringList result;
    for (const char* text : texts)
        result << QString::fromUtf8(text);
    return result;
}

const QStringList kTwo = list({"Track 01 - CD1", "Track 02 - CD1"});

}  // namespace

class TestRenameWindows : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        if (frmChangeTrack* open = frmChangeTrack::Instance())
            open->close();
        flushDeletes();
    }

    void fieldsAtOpening_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("full") << "Intro 07 - CD2" << "Intro" << "07" << "CD2";
        QTest::newRow("bare") << "Song" << "Song" << "Song" << "Song";
        QTest::newRow("spaced prefix") << "Intro 07 - C D 3" << "Intro" << "07" << "CD3";
    }
    void fieldsAtOpening() {
        QFETCH(QString, name);
        ListOwner main({QStringLiteral("Track 01 - CD1"), name}, true, 1);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        QVERIFY(!w->isModal() && !w->parentWidget());
        QTEST(child<QLineEdit>(w, "txtCurrent")->text(), "title");
        QTEST(child<QLineEdit>(w, "txtOldTrackNo")->text(), "number");
        QTEST(child<QLineEdit>(w, "txtTrackNo")->text(), "number");
        QTEST(child<QComboBox>(w, "cboPrefix_0")->currentText(), "prefix");
        QTEST(child<QComboBox>(w, "cboPrefix_1")->currentText(), "prefix");
        QVERIFY(txtNew(w)->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), txtNew(w));
    }

    void applyWritesTheCurrentItem_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("numberedAtOpening");
        QTest::addColumn<bool>("numberedAtOk");
        QTest::addColumn<int>("key");  // 0: click OK
        QTest::addColumn<QString>("written");
        QTest::newRow("numbered") << "Track 03 - CD1" << true << true << 0 << "Intro 03 - CD1";
        QTest::newRow("bare") << "Song" << false << false << 0 << "Intro";
        QTest::newRow("Return") << "Track 03 - CD1" << true << true << int(Qt::Key_Return) << "Intro 03 - CD1";
        QTest::newRow("Enter") << "Track 03 - CD1" << true << true << int(Qt::Key_Enter) << "Intro 03 - CD1";
        // The option counts as it stands when OK is pressed.
        QTest::newRow("switched on while open") << "Track 03 - CD2" << false << true << 0 << "Intro 03 - CD2";
        QTest::newRow("switched off while open") << "Track 03 - CD1" << true << false << 0 << "Intro";
    }
    void applyWritesTheCurrentItem() {
        QFETCH(QString, name);
        QFETCH(bool, numberedAtOpening);
        QFETCH(bool, numberedAtOk);
        QFETCH(int, key);
        ListOwner main({QStringLiteral("A 01 - CD1"), QStringLiteral("B 02 - CD1"), name}, numberedAtOpening, 2);
        QPointer<frmChangeTrack> w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QTest::keyClicks(txtNew(w), QStringLiteral("Intro"));
        main.option.setChecked(numberedAtOk);
        if (key)
            QTest::keyClick(txtNew(w), Qt::Key(key));
        else
            ok(w);
        QTEST(main.list->ItemText(2), "written");
        QCOMPARE(main.list->ItemText(1), QStringLiteral("B 02 - CD1"));
        flushDeletes();
        QVERIFY(w.isNull() && !frmChangeTrack::Instance());
    }

    void emptyTitleKeepsTheWindow() {
        ListOwner main(kNames, true, 0);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(QTest::qWaitForWindowActive(w));
        child<QComboBox>(w, "cboPrefix_0")->setFocus();
        ok(w);
        QCOMPARE(QApplication::focusWidget(), txtNew(w));
        QTest::keyClick(txtNew(w), Qt::Key_Return);
        flushDeletes();
        QCOMPARE(frmChangeTrack::Instance(), w);
        QCOMPARE(main.list->Texts(), kNames);
    }

    void openingAgainRaisesTheSameWindow() {
        ListOwner main(kNames, true, 0);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QTest::keyClicks(txtNew(w), QStringLiteral("Half"));
        main.list->setCurrentRow(2);
        QCOMPARE(frmChangeTrack::Open(main.list, &main.option), w);
        QCOMPARE(txtNew(w)->text(), QStringLiteral("Half"));
        QCOMPARE(child<QLineEdit>(w, "txtOldTrackNo")->text(), QStringLiteral("01"));
        // Closed without OK: nothing changes, and the next opening starts afresh.
        w->close();
        QCOMPARE(main.list->Texts(), kNames);
        frmChangeTrack* next = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(txtNew(next)->text().isEmpty());
        QCOMPARE(child<QLineEdit>(next, "txtOldTrackNo")->text(), QStringLiteral("03"));
    }

    // The window is not modal: the list may change under it before OK.
    void listChangedWhileOpen() {
        ListOwner main(kNames, true, 2);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QTest::keyClicks(txtNew(w), QStringLiteral("Intro"));
        // Another item became current: that one is written, with the number read at opening.
        main.list->setCurrentRow(0);
        ok(w);
        QCOMPARE(main.list->ItemText(0), QStringLiteral("Intro 03 - CD1"));

        // Refilled without a current item, or emptied: nothing is written.
        for (bool refill : {true, false}) {
            main.list->setCurrentRow(1);
            w = frmChangeTrack::Open(main.list, &main.option);
            QTest::keyClicks(txtNew(w), QStringLiteral("Lost"));
            main.list->clear();
            if (refill)
                for (const QString& name : kNames)
                    main.list->AddItem(name);
            ok(w);
            QVERIFY(!main.list->Texts().join(u' ').contains(QStringLiteral("Lost")));
            QVERIFY(!frmChangeTrack::Instance());
        }

        // The main list is gone altogether.
        auto* gone = new ListOwner(kNames, true, 1);
        w = frmChangeTrack::Open(gone->list, &gone->option);
        QTest::keyClicks(txtNew(w), QStringLiteral("Intro"));
        delete gone;
        ok(w);
        QVERIFY(!frmChangeTrack::Instance());
    }

    void rowsAtOpening_data() {
        QTest::addColumn<bool>("numbered");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("tracks");
        QTest::addColumn<QStringList>("prefixes");
        QTest::newRow("numbered") << true << list({"Track 01 - CD1", "Intro 02 - C D3", "Song"})
                                  << list({"Track", "Intro", "Song"}) << list({"01", "02", "Song"})
                                  << list({"CD1", "CD3", "Song"});
        QTest::newRow("bare") << false << list({"Intro", "Song", "My Song 07 - CD2"})
                              << list({"Intro", "Song", "My"}) << list({"1", "2", "3"}) << list({"", "", ""});
    }
    void rowsAtOpening() {
        QFETCH(bool, numbered);
        QFETCH(QStringList, names);
        Session s(names, numbered);
        QVERIFY(s.dlg->isModal());
        QTEST(s.column(0), "titles");
        QTEST(s.column(1), "tracks");
        QTEST(s.column(2), "prefixes");
        QCOMPARE(QApplication::focusWidget(), s.cboPrefix);
    }

    void typedTitleGoesToTheSelectedRow() {
        Session s(kTwo, true);
        // No row selected: typing changes nothing.
        QTest::keyClicks(s.Text1, QStringLiteral("Lost"));
        QCOMPARE(s.column(0), list({"Track", "Track"}));
        s.Text1->clear();
        s.clickRow(1);
        QTest::keyClicks(s.Text1, QStringLiteral("Song"));
        QCOMPARE(s.column(0), list({"Track", "Song"}));
        // Another row selected: any key released copies the whole field into it.
        s.clickRow(0);
        QCOMPARE(s.column(0), list({"Track", "Song"}));
        QTest::keyClick(s.Text1, Qt::Key_Left);
        QCOMPARE(s.column(0), list({"Song", "Song"}));
        QTest::keyClick(s.Text1, Qt::Key_Backspace);
        s.click("Label1");
        QCOMPARE(s.dlg->result(), int(QDialog::Accepted));
        QCOMPARE(s.list->Texts(), list({"Sog 01 - CD1", "Song 02 - CD1"}));
    }

    void prefixComesOnlyFromTheList() {
        Session s(list({"Track 01 - CD1", "Intro 02 - CD2"}), true);
        // Typing an entry's exact text and pressing Enter is not a choice.
        s.cboPrefix->lineEdit()->selectAll();
        QTest::keyClicks(s.cboPrefix, QStringLiteral(" - CD4"));
        QTest::keyClick(s.cboPrefix, Qt::Key_Return);
        QTest::keyClick(s.cboPrefix, Qt::Key_Tab);
        QCOMPARE(s.column(2), list({"CD1", "CD2"}));
        testsupport::pickFromList(s.cboPrefix, 2);
        QCOMPARE(s.column(2), list({"CD3", "CD3"}));
        s.click("Label1");
        QCOMPARE(s.list->Texts(), list({"Track 01 - CD3", "Intro 02 - CD3"}));
    }

    void optionDecidesAtOk_data() {
        QTest::addColumn<bool>("numberedAtOk");
        QTest::addColumn<QStringList>("written");
        QTest::newRow("off") << false << list({"Intro", "Song"});
        QTest::newRow("switched on meanwhile") << true << list({"Intro 1 - CD3", "Song 2 - CD3"});
    }
    void optionDecidesAtOk() {
        QFETCH(bool, numberedAtOk);
        Session s(list({"Intro", "Song"}), false);
        testsupport::pickFromList(s.cboPrefix, 2);
        s.option.setChecked(numberedAtOk);
        s.click("Label1");
        QTEST(s.list->Texts(), "written");
    }

    void okRebuildsAndCancelKeepsTheList_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK") << "Label1";
        QTest::newRow("Cancel") << "Label2";
        QTest::newRow("close box") << "";
    }
    void okRebuildsAndCancelKeepsTheList() {
        QFETCH(QString, how);
        Session s(kTwo, true);
        s.list->SetChecked(1, true);
        s.list->setCurrentRow(0);
        if (how.isEmpty())
            s.dlg->close();
        else
            s.click(qPrintable(how));
        QVERIFY(!s.dlg->isVisible());
        QCOMPARE(s.list->Texts(), kTwo);
        // OK rebuilds even without an edit: marks and the current item go.
        const bool ok = how == QStringLiteral("Label1");
        QCOMPARE(s.list->IsChecked(1), !ok);
        QCOMPARE(s.list->CurrentIndex(), ok ? -1 : 0);
    }

};

QTEST_MAIN(TestRenameWindows)
#include "test_renameWindows.moc"
