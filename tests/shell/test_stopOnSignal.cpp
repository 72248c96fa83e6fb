// A stop signal while a real message box waits for its answer: the box
// closes as Cancel would, and then the window closes. The signal handler's
// wake-up byte is written by the test itself. The box shows text that looks
// like HTML, a file named "<b>Live</b>", as written.

#include "general/QtDialogs.h"
#include "shell/StopOnSignal.h"

#include <QMessageBox>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class StopOnSignalTest : public QObject {
    Q_OBJECT

  private slots:
    void aStopClosesAnOpenBoxThenTheWindow() {
        const QString text = QStringLiteral("Replace the file <b>Live</b>.wav?");
        for (const auto buttons : {Dialogs::Buttons::YesNo, Dialogs::Buttons::Ok}) {
            QWidget window;
            window.show();
            int wake[2];
            QCOMPARE(::pipe2(wake, O_CLOEXEC | O_NONBLOCK), 0);
            CloseOnWake(window, wake[0]);
            QString shown;
            QTimer::singleShot(0, &window, [&] {
                QCOMPARE(::write(wake[1], "x", 1), 1);
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    shown = box->textFormat() == Qt::PlainText ? box->text() : QString();
            });
            const Dialogs::Answer answer = QtDialogs().MsgBox(
                text, buttons, Dialogs::Icon::Question, QStringLiteral("Dorvane"));
            QCOMPARE(answer, buttons == Dialogs::Buttons::YesNo ? Dialogs::Answer::No
                                                                : Dialogs::Answer::Ok);
            QCOMPARE(shown, text);
            QTRY_VERIFY(!window.isVisible());
            ::close(wake[0]), ::close(wake[1]);
        }
    }
};

QTEST_MAIN(StopOnSignalTest)
#include "test_stopOnSignal.moc"
