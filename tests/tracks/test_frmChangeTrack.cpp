#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "tracks/TrackListBox.h"
#include "tracks/frmChangeTrack.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

namespace {

using testsupport::child;
using testsupport::ListOwner;

// Deleted windows go away at the next turn of the event loop; take that turn now.
void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

const QStringList kNames{QStringLiteral("Track 01 - CD1"), QStringLiteral("Track 02 - CD1"),
                         QStringLiteral("Track 03 - CD1")};

QLineEdit* txtNew(QWidget* w) { return child<QLineEdit>(w, "txtNew"); }
void ok(QWidget* w) { QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton); }

}  // namespace

class TestFrmChangeTrack : public QObject {
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

};

QTEST_MAIN(TestFrmChangeTrack)
#include "test_frmChangeTrack.moc"
