// Text that looks like HTML, such as a track named "<b>Live</b>", shows as
// written: in the real message box, and in every label of the windows.

#include "WindowTestSupport.h"

#include "general/QtDialogs.h"
#include "help/frmAbout.h"
#include "tracks/frmRenAll.h"

#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using testsupport::child;

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void messageBoxShowsTagsAsWritten() {
        const QString text = QStringLiteral("Cannot create the file <b>Live</b>.wav");
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown = box->text();
            format = box->textFormat();
            box->accept();
        });
        QtDialogs().MsgBox(text, Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation, QStringLiteral("Dorvane"));
        QCOMPARE(shown, text);
        QCOMPARE(format, Qt::PlainText);
    }

    void everyLabelOfTheWindowsIsPlainText() {
        testsupport::MainWindowRig rig;
        Dorvane& w = rig.open();
        child<QAction>(&w, "mnuSettings")->trigger();
        child<QAction>(&w, "mnuHAbout")->trigger();
        testsupport::ListOwner owner({QStringLiteral("<b>Live</b>")}, true, 0);
        frmRenAll renAll(&owner.owner, owner.list, &owner.option);
        frmChangeTrack::Open(owner.list, &owner.option);
        QList<QWidget*> windows = QApplication::topLevelWidgets();
        windows << &renAll;
        int labels = 0;
        for (QWidget* window : std::as_const(windows))
            for (QLabel* label : window->findChildren<QLabel*>()) {
                if (!label->pixmap().isNull())  // a picture shows no text
                    continue;
                ++labels;
                QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
            }
        QVERIFY(labels > 30);
        QVERIFY(frmChangeTrack::Instance());
        delete frmAbout::Instance();
    }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
