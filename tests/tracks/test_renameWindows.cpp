// The two rename windows over a stand-in for the main window's list and its
// Track no/prefix option: frmChangeTrack renames the current track,
// frmRenAll every track at once.

#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "tracks/frmChangeTrack.h"
#include "tracks/frmRenAll.h"

#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>

namespace {

using testsupport::child;
using testsupport::ListOwner;

// Deleted windows go away at the next turn of the event loop; take that turn now.
void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// "a|b" is {"a", "b"}.
QStringList list(const char* texts) {
    return QString::fromUtf8(texts).split(u'|');
}
const QStringList kNames = list("Track 01 - CD1|Track 02 - CD1|Track 03 - CD1");

QLineEdit* txtNew(QWidget* w) {
    return child<QLineEdit>(w, "txtNew");
}
QString text(QWidget* w, const char* field) {
    return child<QLineEdit>(w, field)->text();
}
QString prefix(QWidget* w, const char* box) {
    return child<QComboBox>(w, box)->currentText();
}
void ok(QWidget* w) {
    QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton);
}

// The main window's list and option, and the dialog over them, on screen.
struct Session : ListOwner {
    std::unique_ptr<frmRenAll> dlg;
    QTreeWidget* List1;
    QLineEdit* Text1;
    QComboBox* cboPrefix;

    Session(const QStringList& names, bool numbered)
        : ListOwner(names, numbered), dlg(std::make_unique<frmRenAll>(&owner, list, &option)),
          List1(child<QTreeWidget>(dlg.get(), "List1")),
          Text1(child<QLineEdit>(dlg.get(), "Text1")),
          cboPrefix(child<QComboBox>(dlg.get(), "cboPrefix")) {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    }
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
    void click(const char* label) const {
        QTest::mouseClick(child<LabelButton>(dlg.get(), label), Qt::LeftButton);
    }
};

} // namespace

class TestRenameWindows : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() {
        if (frmChangeTrack* open = frmChangeTrack::Instance())
            open->close();
        flushDeletes();
    }

    // From opening to OK: the fields as read from the name, and the name
    // written into the current item with the option as it stands at OK.
    void renameOneTrack_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fields"); // title|number|prefix
        QTest::addColumn<bool>("numberedAtOpening");
        QTest::addColumn<bool>("numberedAtOk");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("written");
        QTest::newRow("numbered") << "Track 03 - CD1"
                                  << "Track|03|CD1" << true << true << "OK"
                                  << "Intro 03 - CD1";
        QTest::newRow("bare") << "Song"
                              << "Song|Song|Song" << false << false << "OK"
                              << "Intro";
        QTest::newRow("spaced prefix") << "Intro 07 - C D 3"
                                       << "Intro|07|CD3" << true << true << "Return"
                                       << "Intro 07 - CD3";
        QTest::newRow("Enter") << "Track 03 - CD2"
                               << "Track|03|CD2" << true << true << "Enter"
                               << "Intro 03 - CD2";
        QTest::newRow("switched on while open") << "Track 03 - CD2"
                                                << "Track|03|CD2" << false << true << "OK"
                                                << "Intro 03 - CD2";
    }
    void renameOneTrack() {
        QFETCH(QString, name);
        QFETCH(bool, numberedAtOpening);
        QFETCH(bool, numberedAtOk);
        QFETCH(QString, how);
        ListOwner main({QStringLiteral("A 01 - CD1"), QStringLiteral("B 02 - CD1"), name},
                       numberedAtOpening, 2);
        QPointer<frmChangeTrack> w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w && QTest::qWaitForWindowActive(w));
        QVERIFY(!w->isModal() && !w->parentWidget());
        QTEST(
            QStringList({text(w, "txtCurrent"), text(w, "txtOldTrackNo"), prefix(w, "cboPrefix_0")})
                .join(u'|'),
            "fields");
        QCOMPARE(text(w, "txtTrackNo"), text(w, "txtOldTrackNo"));
        QCOMPARE(prefix(w, "cboPrefix_1"), prefix(w, "cboPrefix_0"));
        QVERIFY(txtNew(w)->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), txtNew(w));
        QTest::keyClicks(txtNew(w), QStringLiteral("Intro"));
        main.option.setChecked(numberedAtOk);
        if (how == QStringLiteral("OK"))
            ok(w);
        else
            QTest::keyClick(txtNew(w),
                            how == QStringLiteral("Enter") ? Qt::Key_Enter : Qt::Key_Return);
        QTEST(main.list->ItemText(2), "written");
        QCOMPARE(main.list->ItemText(1), QStringLiteral("B 02 - CD1"));
        flushDeletes();
        QVERIFY(w.isNull() && !frmChangeTrack::Instance());
    }

    // The window is not modal. OK without a title keeps it open; opening it
    // again raises it unchanged; closing it writes nothing, and the next
    // opening starts afresh. The list may change under it before OK.
    void windowStaysOpenWhileTheListChanges() {
        ListOwner main(kNames, true, 0);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(QTest::qWaitForWindowActive(w));
        child<QComboBox>(w, "cboPrefix_0")->setFocus();
        ok(w);
        QCOMPARE(QApplication::focusWidget(), txtNew(w));
        QTest::keyClick(txtNew(w), Qt::Key_Return);
        flushDeletes();
        QCOMPARE(frmChangeTrack::Instance(), w);
        QTest::keyClicks(txtNew(w), QStringLiteral("Half"));
        main.list->setCurrentRow(2);
        QCOMPARE(frmChangeTrack::Open(main.list, &main.option), w);
        QCOMPARE(txtNew(w)->text(), QStringLiteral("Half"));
        QCOMPARE(text(w, "txtOldTrackNo"), QStringLiteral("01"));
        w->close();
        QCOMPARE(main.list->Texts(), kNames);
        w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(txtNew(w)->text().isEmpty());

        // Another item became current: that one is written, with the number read at opening.
        QTest::keyClicks(txtNew(w), QStringLiteral("Intro"));
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
        QTest::addColumn<QStringList>("cells"); // the titles, then the numbers, then the prefixes
        QTest::newRow("numbered") << true << list("Track 01 - CD1|Intro 02 - C D3|Song")
                                  << list("Track|Intro|Song|01|02|Song|CD1|CD3|Song");
        QTest::newRow("bare") << false << list("Intro|Song|My Song 07 - CD2")
                              << list("Intro|Song|My|1|2|3|||");
    }
    void rowsAtOpening() {
        QFETCH(bool, numbered);
        QFETCH(QStringList, names);
        Session s(names, numbered);
        QVERIFY(s.dlg->isModal());
        QTEST(s.column(0) + s.column(1) + s.column(2), "cells");
        QCOMPARE(QApplication::focusWidget(), s.cboPrefix);
    }

    // A typed title goes to the selected row only; the prefix comes only from
    // a pick in its list, and then for every row.
    void titleByRowPrefixFromTheList() {
        Session s(list("Track 01 - CD1|Track 02 - CD2"), true);
        // No row selected: typing changes nothing.
        QTest::keyClicks(s.Text1, QStringLiteral("Lost"));
        QCOMPARE(s.column(0), list("Track|Track"));
        s.Text1->clear();
        s.clickRow(1);
        QTest::keyClicks(s.Text1, QStringLiteral("Song"));
        QCOMPARE(s.column(0), list("Track|Song"));
        // Another row selected: any key released copies the whole field into it.
        s.clickRow(0);
        QCOMPARE(s.column(0), list("Track|Song"));
        QTest::keyClick(s.Text1, Qt::Key_Left);
        QCOMPARE(s.column(0), list("Song|Song"));
        QTest::keyClick(s.Text1, Qt::Key_Backspace);
        // Typing an entry's exact text and pressing Enter is not a choice.
        s.cboPrefix->lineEdit()->selectAll();
        QTest::keyClicks(s.cboPrefix, QStringLiteral(" - CD4"));
        QTest::keyClick(s.cboPrefix, Qt::Key_Return);
        QTest::keyClick(s.cboPrefix, Qt::Key_Tab);
        QCOMPARE(s.column(2), list("CD1|CD2"));
        testsupport::pickFromList(s.cboPrefix, 2);
        QCOMPARE(s.column(2), list("CD3|CD3"));
        s.click("Label1");
        QCOMPARE(s.list->Texts(), list("Sog 01 - CD3|Song 02 - CD3"));
    }

    // OK rebuilds the list even when no name changes (the marks and the
    // current item go) and reads the option as it stands then; Cancel and
    // the close box keep the list as it was.
    void okRebuildsAndCancelKeepsTheList_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("numberedAtOk");
        QTest::addColumn<QStringList>("written");
        QTest::newRow("OK") << "Label1" << false << list("Intro|Song");
        QTest::newRow("OK, option on meanwhile")
            << "Label1" << true << list("Intro 1 - CD3|Song 2 - CD3");
        QTest::newRow("Cancel") << "Label2" << true << list("Intro|Song");
        QTest::newRow("close box") << "" << true << list("Intro|Song");
    }
    void okRebuildsAndCancelKeepsTheList() {
        QFETCH(QString, how);
        QFETCH(bool, numberedAtOk);
        Session s(list("Intro|Song"), false);
        s.list->SetChecked(1, true);
        s.list->setCurrentRow(0);
        testsupport::pickFromList(s.cboPrefix, 2);
        s.option.setChecked(numberedAtOk);
        if (how.isEmpty())
            s.dlg->close();
        else
            s.click(qPrintable(how));
        QVERIFY(!s.dlg->isVisible());
        QTEST(s.list->Texts(), "written");
        const bool ok = how == QStringLiteral("Label1");
        QCOMPARE(s.list->IsChecked(1), !ok);
        QCOMPARE(s.list->CurrentIndex(), ok ? -1 : 0);
    }
};

QTEST_MAIN(TestRenameWindows)
#include "test_renameWindows.moc"
