#include "shell/StopOnSignal.h"

#include "engine/StopSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

void CloseOnWake(QWidget& window, int readFd) {
    auto* notifier = new QSocketNotifier(readFd, QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, readFd] {
        char bytes[16];
        while (::read(readFd, bytes, sizeof bytes) > 0) {
        }
        // A box waiting for OK would hold the program until someone came:
        // each open modal window is closed first, as Cancel or Esc would,
        // and the code that opened it goes on as for that answer.
        for (int guard = 0; guard < 16; ++guard) {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == &window)
                break;
            modal->close();
        }
        window.close();
    });
}

void CloseOnStopSignal(QWidget& window) {
    int wake[2] = {-1, -1};
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        stopsignals::Install(-1);
        return;
    }
    CloseOnWake(window, wake[0]);
    stopsignals::Install(wake[1]);
}
