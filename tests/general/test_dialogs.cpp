// The real dialog seam: text that looks like HTML, such as a track named
// "<b>Live</b>", shows as written in every label of the windows (the message
// box's own check is test_stopOnSignal's); a page no browser opens is named
// in a box.

#include "WindowTestSupport.h"

#include "general/QtDialogs.h"
#include "help/frmAbout.h"
#include "tracks/frmRenAll.h"

#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <sys/stat.h>

using testsupport::child;

class DialogsTest : public QObject {
    Q_OBJECT

  private slots:
    // xdg-open that finds no browser ends with status 3 (and a line on the
    // terminal); only then does the box come, naming the address.
    void aPageNoBrowserOpensIsNamedInABox() {
        testsupport::TempFolder bin;
        std::ofstream(bin.file("xdg-open")) << "#!/bin/sh\necho \"$1\" > \"$0.asked\"\nexit 3\n";
        QCOMPARE(::chmod(bin.file("xdg-open").c_str(), 0500), 0);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.qpath()) + ':' + path);
        QString shown;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        watch.start(10);
        const QString page =
            QStringLiteral("http://support.dorvane.example/?mode=Contact&sub-mode=csupport");
        QtDialogs dialogs;
        QVERIFY(dialogs.OpenWithShell(page)); // xdg-open started
        qputenv("PATH", path);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 60000);
        QVERIFY2(shown.endsWith(QStringLiteral("\r\n\r\n") + page), qPrintable(shown));
        QCOMPARE(testsupport::ReadAll(bin.file("xdg-open.asked")), page.toStdString() + '\n');
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
                if (!label->pixmap().isNull()) // a picture shows no text
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
