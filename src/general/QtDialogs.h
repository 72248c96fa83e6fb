#pragma once

#include "general/Dialogs.h"

// The real dialogs: Qt's message boxes and file dialogs, the desktop's "open".
class QtDialogs : public Dialogs {
public:
    Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
    QString BrowseForFolder(const QString& title) override;
    QString SaveFileName(const QString& title, const QString& folder, const QString& filter,
                         QString* selectedFilter) override;
    bool ChoosePrinter(QPrinter& printer, const QString& title) override;

protected:
    bool HandToDesktop(const QString& target) override;
};
