// A stop signal while a real message box waits for its answer: the box
// closes as Cancel would, and then the window closes. The signal handler's
// wake-up byte is written by the test itself.

#include "general/QtDialogs.h"
#include "shell/StopOnSignal.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class StopOnSignalTest : public QObject {
    Q_OBJECT

  private slots:
    void aStopClosesAnOpenBoxThenTheWindow() {
        for (const auto buttons : {Dialogs::Buttons::YesNo, Dialogs::Buttons::Ok}) {
            QWidget window;
            window.show();
            int wake[2];
            QCOMPARE(::pipe2(wake, O_CLOEXEC | O_NONBLOCK), 0);
            CloseOnWake(window, wake[0]);
            QtDialogs dialogs;
            QTimer::singleShot(50, &window, [&] { QCOMPARE(::write(wake[1], "x", 1), 1); });
            const Dialogs::Answer answer =
                dialogs.MsgBox(QStringLiteral("Replace the file?"), buttons,
                               Dialogs::Icon::Question, QStringLiteral("Dorvane"));
            QCOMPARE(answer, buttons == Dialogs::Buttons::YesNo ? Dialogs::Answer::No
                                                                : Dialogs::Answer::Ok);
            QTRY_VERIFY(!window.isVisible());
            ::close(wake[0]), ::close(wake[1]);
        }
    }
};

QTEST_MAIN(StopOnSignalTest)
#include "test_stopOnSignal.moc"
