#pragma once

#include "general/Dialogs.h"

#include <memory>

// The real dialogs: Qt's message boxes and file dialogs, the desktop's "open".
class QtDialogs : public Dialogs {
  public:
    Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
    QString BrowseForFolder(const QString& title) override;
    QString SaveFileName(const QString& title, const QString& folder, const QString& filter,
                         QString* selectedFilter) override;
    bool ChoosePrinter(QPrinter& printer, const QString& title) override;
    // A small dialog: the text, a table of the rows (the first one selected;
    // a double click picks a row), OK and Cancel.
    int ChooseFromList(const QString& title, const QString& text, const QStringList& headings,
                       const QList<QStringList>& rows) override;

  protected:
    // xdg-open, when there is one, so that its failure (no browser, no
    // viewer) is seen: it ends with a non-zero status, later, and the box
    // comes then. Qt's own open reports only whether xdg-open started.
    bool HandToDesktop(const QString& target) override;

  private:
    // Openers still running outlive this object; they check it is there.
    std::shared_ptr<int> alive_ = std::make_shared<int>();
};
