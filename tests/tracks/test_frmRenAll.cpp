#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "tracks/TrackListBox.h"
#include "tracks/frmRenAll.h"

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
        Session s(kNames, true);
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
        Session s(kNames, true);
        s.list->SetChecked(1, true);
        s.list->setCurrentRow(0);
        if (how.isEmpty())
            s.dlg->close();
        else
            s.click(qPrintable(how));
        QVERIFY(!s.dlg->isVisible());
        QCOMPARE(s.list->Texts(), kNames);
        // OK rebuilds even without an edit: marks and the current item go.
        const bool ok = how == QStringLiteral("Label1");
        QCOMPARE(s.list->IsChecked(1), !ok);
        QCOMPARE(s.list->CurrentIndex(), ok ? -1 : 0);
    }

};

QTEST_MAIN(TestFrmRenAll)
#include "test_frmRenAll.moc"
