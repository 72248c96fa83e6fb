#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "general/Twips.h"
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
        QCOMPARE(frmChangeTrack::Instance(), w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(w->windowTitle(), QStringLiteral("New Filename"));
        QCOMPARE(w->size(), QSize(twips::px(4785), twips::px(1170)));
        QVERIFY(!w->isModal());
        QVERIFY(!w->parentWidget());

        auto* txtCurrent = child<QLineEdit>(w, "txtCurrent");
        auto* txtOldTrackNo = child<QLineEdit>(w, "txtOldTrackNo");
        auto* txtTrackNo = child<QLineEdit>(w, "txtTrackNo");
        auto* txtNew = child<QLineEdit>(w, "txtNew");
        auto* shown = child<QComboBox>(w, "cboPrefix_0");
        auto* hidden = child<QComboBox>(w, "cboPrefix_1");
        QTEST(txtCurrent->text(), "title");
        QTEST(txtOldTrackNo->text(), "number");
        QTEST(txtTrackNo->text(), "number");
        QTEST(shown->currentText(), "prefix");
        QTEST(hidden->currentText(), "prefix");
        QVERIFY(txtNew->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), txtNew);

        for (QLineEdit* field : {txtCurrent, txtOldTrackNo, txtTrackNo})
            QVERIFY(!field->isEnabled() && field->isReadOnly());
        QVERIFY(shown->isEnabled() && shown->isEditable() && shown->isVisible());
        QVERIFY(!txtTrackNo->isVisible() && !hidden->isVisible());
        QCOMPARE(shown->count(), 4);
        QCOMPARE(hidden->itemText(3), QStringLiteral("CD4"));
        QCOMPARE(child<LabelButton>(w, "Label3")->text(), QStringLiteral("OK"));
        QCOMPARE(child<Shape>(w, "Shape1")->fillColor(), twips::kLightGrey);
    }

    void okWritesTheCurrentItem_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("numberedAtOpening");
        QTest::addColumn<bool>("numberedAtOk");
        QTest::addColumn<QString>("written");
        QTest::newRow("numbered") << "Track 03 - CD1" << true << true << "Intro 03 - CD1";
        QTest::newRow("bare") << "Song" << false << false << "Intro";
        // The option counts as it stands when OK is pressed.
        QTest::newRow("switched on while open") << "Track 03 - CD2" << false << true << "Intro 03 - CD2";
        QTest::newRow("switched off while open") << "Track 03 - CD1" << true << false << "Intro";
    }
    void okWritesTheCurrentItem() {
        QFETCH(QString, name);
        QFETCH(bool, numberedAtOpening);
        QFETCH(bool, numberedAtOk);
        ListOwner main({QStringLiteral("A 01 - CD1"), QStringLiteral("B 02 - CD1"), name}, numberedAtOpening,
                       2);
        QPointer<frmChangeTrack> w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QTest::keyClicks(child<QLineEdit>(w, "txtNew"), QStringLiteral("Intro"));
        main.option.setChecked(numberedAtOk);
        QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton);

        QTEST(main.list->ItemText(2), "written");
        QCOMPARE(main.list->ItemText(0), QStringLiteral("A 01 - CD1"));
        QCOMPARE(main.list->ItemText(1), QStringLiteral("B 02 - CD1"));
        QVERIFY(!frmChangeTrack::Instance());
        flushDeletes();
        QVERIFY(w.isNull());
    }

    void enterAppliesLikeOk_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
    }
    void enterAppliesLikeOk() {
        QFETCH(int, key);
        ListOwner main(kNames, true, 2);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        auto* txtNew = child<QLineEdit>(w, "txtNew");
        QTest::keyClicks(txtNew, QStringLiteral("Outro"));
        QTest::keyClick(txtNew, Qt::Key(key));
        QCOMPARE(main.list->ItemText(2), QStringLiteral("Outro 03 - CD1"));
        QVERIFY(!frmChangeTrack::Instance());
    }

    void emptyTitleKeepsTheWindow() {
        ListOwner main(kNames, true, 0);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        auto* txtNew = child<QLineEdit>(w, "txtNew");
        auto* prefix = child<QComboBox>(w, "cboPrefix_0");

        prefix->setFocus();
        QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), txtNew);

        prefix->setFocus();
        QTest::keyClick(txtNew, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), txtNew);

        flushDeletes();
        QCOMPARE(frmChangeTrack::Instance(), w);
        QVERIFY(w->isVisible());
        QCOMPARE(main.list->Texts(), kNames);
    }

    void openingAgainRaisesTheSameWindow() {
        ListOwner main(kNames, true, 0);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QTest::keyClicks(child<QLineEdit>(w, "txtNew"), QStringLiteral("Half"));

        main.owner.show();
        main.owner.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main.owner));
        main.list->setCurrentRow(2);

        QCOMPARE(frmChangeTrack::Open(main.list, &main.option), w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(child<QLineEdit>(w, "txtNew")->text(), QStringLiteral("Half"));
        QCOMPARE(child<QLineEdit>(w, "txtOldTrackNo")->text(), QStringLiteral("01"));

        // Closed without OK: nothing changes, and the next opening starts afresh.
        w->close();
        QCOMPARE(main.list->Texts(), kNames);
        frmChangeTrack* next = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(next);
        QVERIFY(child<QLineEdit>(next, "txtNew")->text().isEmpty());
        QCOMPARE(child<QLineEdit>(next, "txtOldTrackNo")->text(), QStringLiteral("03"));
    }

    void noCurrentItemOpensNothing() {
        ListOwner main(kNames, true, -1);
        QCOMPARE(main.list->CurrentIndex(), -1);
        QVERIFY(!frmChangeTrack::Open(main.list, &main.option));
        QVERIFY(!frmChangeTrack::Instance());
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<frmChangeTrack*>(top));
    }

    void listChangedWhileOpen() {
        ListOwner main(kNames, true, 2);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QTest::keyClicks(child<QLineEdit>(w, "txtNew"), QStringLiteral("Intro"));

        // Another item became current: that one is written, with the number read at opening.
        main.list->setCurrentRow(0);
        QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton);
        QCOMPARE(main.list->Texts(), (QStringList{QStringLiteral("Intro 03 - CD1"),
                                                  QStringLiteral("Track 02 - CD1"),
                                                  QStringLiteral("Track 03 - CD1")}));

        // The list was cleared, then refilled without a current item: nothing is written.
        w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QTest::keyClicks(child<QLineEdit>(w, "txtNew"), QStringLiteral("Lost"));
        main.list->clear();
        for (const QString& name : kNames)
            main.list->AddItem(name);
        QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton);
        QCOMPARE(main.list->Texts(), kNames);
        QVERIFY(!frmChangeTrack::Instance());

        // The list was emptied.
        main.list->setCurrentRow(1);
        w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QTest::keyClicks(child<QLineEdit>(w, "txtNew"), QStringLiteral("Lost"));
        main.list->clear();
        QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton);
        QCOMPARE(main.list->Count(), 0);
        QVERIFY(!frmChangeTrack::Instance());
    }

    void mainListGoneWhileOpen() {
        auto* main = new ListOwner(kNames, true, 1);
        frmChangeTrack* w = frmChangeTrack::Open(main->list, &main->option);
        QVERIFY(w);
        QTest::keyClicks(child<QLineEdit>(w, "txtNew"), QStringLiteral("Intro"));
        delete main;
        QTest::mouseClick(child<LabelButton>(w, "Label3"), Qt::LeftButton);
        QVERIFY(!frmChangeTrack::Instance());
    }

    void hoverColours() {
        ListOwner main(kNames, true, 0);
        frmChangeTrack* w = frmChangeTrack::Open(main.list, &main.option);
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        auto* shape = child<Shape>(w, "Shape1");
        const QPoint freeArea = twips::rect(1500, 900, 15, 15).topLeft();
        QCOMPARE(w->childAt(freeArea), nullptr);

        QTest::mouseMove(child<LabelButton>(w, "Label3"));
        QCOMPARE(shape->fillColor(), twips::kWhite);
        QTest::mouseMove(w, freeArea);
        QCOMPARE(shape->fillColor(), twips::kLightGrey);
    }
};

QTEST_MAIN(TestFrmChangeTrack)
#include "test_frmChangeTrack.moc"
