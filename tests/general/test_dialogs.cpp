// The real dialog seam: text that looks like HTML, such as a track named
// "<b>Live</b>", shows as written in its message box and in every label of
// the windows; a page no browser opens is named in a box.

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
        QtDialogs().MsgBox(text, Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation,
                           QStringLiteral("Dorvane"));
        QCOMPARE(shown, text);
        QCOMPARE(format, Qt::PlainText);
    }

    // xdg-open that finds no browser ends with status 3 (and a line on the
    // terminal); only then does the box come, naming the address.
    void aPageNoBrowserOpensIsNamedInABox() {
        testsupport::TempFolder bin;
        {
            QFile opener(bin.qpath() + QStringLiteral("/xdg-open"));
            QVERIFY(opener.open(QIODevice::WriteOnly));
            opener.write("#!/bin/sh\necho \"$1\" > \"$0.asked\"\nexit 3\n");
        }
        QVERIFY(QFile::setPermissions(bin.qpath() + QStringLiteral("/xdg-open"),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
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
        QFile asked(bin.qpath() + QStringLiteral("/xdg-open.asked"));
        QVERIFY(asked.open(QIODevice::ReadOnly));
        QCOMPARE(asked.readAll().trimmed(), page.toUtf8());
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
