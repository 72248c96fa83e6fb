#include "cd/modAKRip32.h"
#include "general/FormLayout.h"
#include "general/QtDialogs.h"
#include "shell/Dorvane.h"
#include "shell/FaultReport.h"
#include "shell/StopOnSignal.h"

#include <QApplication>

#include <string>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    // A crashed run's report comes before anything else: it shows one box.
    if (IsFaultReportRun(argc, argv))
        return ShowFaultReport(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorvane"));
    formlayout::InstallFontSubstitutes();
    QtDialogs dialogs;
    // Qt has taken its own options out of argv; the other arguments that are
    // not options name disc images, the first of which start-up opens.
    std::vector<std::string> images;
    for (int i = 1; i < argc; ++i)
        if (!std::string_view(argv[i]).starts_with('-'))
            images.emplace_back(argv[i]);
    Dorvane window(dialogs, modAKRip32::UseCommandLineImages(images));

    // A signal to end (logging out, Ctrl+C, the terminal closing) closes the
    // window as the person would: a running extraction first finishes its
    // file so that it says what it holds.
    CloseOnStopSignal(window);
    window.show();
    return QApplication::exec();
}
