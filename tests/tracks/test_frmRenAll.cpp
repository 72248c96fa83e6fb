#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "general/Twips.h"
#include "tracks/TrackListBox.h"
#include "tracks/frmRenAll.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

namespace {

using testsupport::child;

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
    void ok() const { QTest::mouseClick(find<LabelButton>("Label1"), Qt::LeftButton); }
    void cancel() const { QTest::mouseClick(find<LabelButton>("Label2"), Qt::LeftButton); }
    // A choice from the prefix list, made with the keyboard as a user would.
    void choosePrefix(int index) const {
        cboPrefix->setFocus();
        while (cboPrefix->currentIndex() > index)
            QTest::keyClick(cboPrefix, Qt::Key_Up);
        while (cboPrefix->currentIndex() < index)
            QTest::keyClick(cboPrefix, Qt::Key_Down);
    }
};

QStringList list(std::initializer_list<const char*> texts) {
    QStringList result;
    for (const char* text : texts)
        result << QString::fromUtf8(text);
    return result;
}

const QStringList kNames = list({"Track 01 - CD1", "Track 02 - CD1"});

}  // namespace

class TestFrmRenAll : public QObject {
    Q_OBJECT
private slots:
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
        QTest::newRow("no tracks") << true << QStringList() << QStringList() << QStringList()
                                   << QStringList();
    }
    void rowsAtOpening() {
        QFETCH(bool, numbered);
        QFETCH(QStringList, names);
        Session s(names, numbered);
        QVERIFY(QTest::qWaitForWindowActive(s.dlg.get()));
        QCOMPARE(s.dlg->windowTitle(), QStringLiteral("Rename All"));
        QVERIFY(s.dlg->isModal());
        QCOMPARE(s.dlg->size(), QSize(twips::px(5895), twips::px(3210)));
        QTEST(s.column(0), "titles");
        QTEST(s.column(1), "tracks");
        QTEST(s.column(2), "prefixes");
        QVERIFY(s.List1->selectedItems().isEmpty());
        QVERIFY(s.Text1->text().isEmpty());
        QCOMPARE(s.cboPrefix->currentText(), QStringLiteral(" - CD1"));
        QCOMPARE(s.cboPrefix->count(), 4);
        QCOMPARE(QApplication::focusWidget(), s.cboPrefix);
        QCOMPARE(s.List1->headerItem()->text(1), QStringLiteral("Track"));
    }

    void typedTitleGoesToTheSelectedRow() {
        Session s(kNames, true);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        // No row selected: typing changes nothing.
        QTest::keyClicks(s.Text1, QStringLiteral("Lost"));
        QCOMPARE(s.column(0), list({"Track", "Track"}));
        s.Text1->clear();

        s.clickRow(1);
        QTest::keyClicks(s.Text1, QStringLiteral("Song"));
        QCOMPARE(s.column(0), list({"Track", "Song"}));

        // Selecting another row leaves the field alone; any key released then
        // copies the whole field into the new row.
        s.clickRow(0);
        QCOMPARE(s.Text1->text(), QStringLiteral("Song"));
        QCOMPARE(s.column(0), list({"Track", "Song"}));
        QTest::keyClick(s.Text1, Qt::Key_Left);
        QCOMPARE(s.column(0), list({"Song", "Song"}));
        QTest::keyClick(s.Text1, Qt::Key_Backspace);
        QCOMPARE(s.column(0), list({"Sog", "Song"}));

        s.ok();
        QCOMPARE(s.dlg->result(), int(QDialog::Accepted));
        QVERIFY(!s.dlg->isVisible());
        QCOMPARE(s.list->Texts(), list({"Sog 01 - CD1", "Song 02 - CD1"}));
    }

    void renameOneRowThenOk() {
        Session s(kNames, true);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        s.clickRow(1);
        QTest::keyClicks(s.Text1, QStringLiteral("Song"));
        s.ok();
        QCOMPARE(s.list->Texts(), list({"Track 01 - CD1", "Song 02 - CD1"}));
    }

    void prefixChoiceAppliesToEveryRow() {
        Session s(list({"Track 01 - CD1", "Intro 02 - CD2", "Song 03 - CD1"}), true);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        // Typing in the field is not a choice, not even an entry's exact text.
        s.cboPrefix->setFocus();
        s.cboPrefix->lineEdit()->selectAll();
        QTest::keyClicks(s.cboPrefix, QStringLiteral(" - CD4"));
        QCOMPARE(s.cboPrefix->currentText(), QStringLiteral(" - CD4"));
        QTest::keyClick(s.cboPrefix, Qt::Key_Return);
        QTest::keyClick(s.cboPrefix, Qt::Key_Tab);
        QCOMPARE(s.column(2), list({"CD1", "CD2", "CD1"}));

        s.choosePrefix(2);
        QCOMPARE(s.cboPrefix->currentText(), QStringLiteral(" - CD3"));
        QCOMPARE(s.column(2), list({"CD3", "CD3", "CD3"}));
        s.ok();
        QCOMPARE(s.list->Texts(), list({"Track 01 - CD3", "Intro 02 - CD3", "Song 03 - CD3"}));
    }

    void prefixChoiceFromTheOpenList() {
        Session s(kNames, true);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        s.cboPrefix->showPopup();
        QAbstractItemView* view = s.cboPrefix->view();
        QVERIFY(QTest::qWaitForWindowExposed(view->window()));
        const QRect entry = view->visualRect(view->model()->index(3, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry.center());
        QCOMPARE(s.column(2), list({"CD4", "CD4"}));
    }

    void optionOffWritesTitlesAlone() {
        Session s(list({"Intro", "Song"}), false);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        s.choosePrefix(2);
        QCOMPARE(s.column(2), list({"CD3", "CD3"}));
        s.ok();
        QCOMPARE(s.list->Texts(), list({"Intro", "Song"}));
    }

    void optionIsReadAtOk() {
        Session s(list({"Intro", "Song"}), false);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        s.option.setChecked(true);
        s.ok();
        QCOMPARE(s.list->Texts(), list({"Intro 1 - ", "Song 2 - "}));
    }

    void okWithoutEditsRebuildsTheList() {
        Session s(list({"Track 01 - CD1", "Intro 02 - CD2", "Song 03 - CD1"}), true);
        s.list->SetChecked(0, true);
        s.list->SetChecked(2, true);
        s.list->setCurrentRow(1);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        s.ok();
        QCOMPARE(s.list->Texts(), list({"Track 01 - CD1", "Intro 02 - CD2", "Song 03 - CD1"}));
        for (int i = 0; i < s.list->Count(); ++i)
            QVERIFY2(!s.list->IsChecked(i), qPrintable(QString::number(i)));
        QCOMPARE(s.list->CurrentIndex(), -1);
    }

    void cancelAndCloseBoxChangeNothing_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }
    void cancelAndCloseBoxChangeNothing() {
        QFETCH(bool, closeBox);
        Session s(kNames, true);
        s.list->SetChecked(1, true);
        s.list->setCurrentRow(0);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        s.clickRow(0);
        QTest::keyClicks(s.Text1, QStringLiteral("Song"));
        s.choosePrefix(3);
        if (closeBox)
            s.dlg->close();
        else
            s.cancel();
        QVERIFY(!s.dlg->isVisible());
        QCOMPARE(s.dlg->result(), int(QDialog::Rejected));
        QCOMPARE(s.list->Texts(), kNames);
        QVERIFY(!s.list->IsChecked(0));
        QVERIFY(s.list->IsChecked(1));
        QCOMPARE(s.list->CurrentIndex(), 0);
    }

    void hoverColours() {
        Session s(kNames, true);
        QVERIFY(QTest::qWaitForWindowExposed(s.dlg.get()));
        auto* ok = s.find<Shape>("Shape1_0");
        auto* cancel = s.find<Shape>("Shape1_1");
        const QPoint freeArea = twips::rect(1500, 2950, 15, 15).topLeft();
        QCOMPARE(s.dlg->childAt(freeArea), nullptr);

        QTest::mouseMove(s.find<LabelButton>("Label1"));
        QCOMPARE(ok->fillColor(), twips::kWhite);
        QCOMPARE(cancel->fillColor(), twips::kLightGrey);
        QTest::mouseMove(s.find<LabelButton>("Label2"));
        QCOMPARE(ok->fillColor(), twips::kLightGrey);
        QCOMPARE(cancel->fillColor(), twips::kWhite);
        QTest::mouseMove(s.dlg.get(), freeArea);
        QCOMPARE(ok->fillColor(), twips::kLightGrey);
        QCOMPARE(cancel->fillColor(), twips::kLightGrey);
    }
};

QTEST_MAIN(TestFrmRenAll)
#include "test_frmRenAll.moc"
