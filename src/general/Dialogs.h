#pragma once
// Everything a person answers goes through this seam: modal message boxes,
// the folder, save and print dialogs, a choice from a list, and handing a
// file or page to the desktop. The program uses QtDialogs; a test installs
// one that answers from a script and records what was asked.

#include <QList>
#include <QString>
#include <QStringList>

class QPrinter;
class QWidget;

class Dialogs {
  public:
    enum class Icon { None, Information, Exclamation, Question, Critical };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Dialogs() = default;

    virtual Answer MsgBox(const QString& text, Buttons buttons, Icon icon,
                          const QString& title) = 0;
    // A folder path, or empty text when the person cancelled.
    virtual QString BrowseForFolder(const QString& title) = 0;
    // A file name to save to, or empty text when cancelled. The dialog opens
    // in folder; filter uses Qt's "Name (*.ext);;..." form. The entry that
    // *selectedFilter holds on the way in is preselected; it receives the
    // chosen one.
    virtual QString SaveFileName(const QString& title, const QString& folder, const QString& filter,
                                 QString* selectedFilter) = 0;
    // True when the person chose a printer (or a file to print to) and
    // confirmed; printer then holds the choice.
    virtual bool ChoosePrinter(QPrinter& printer, const QString& title) = 0;
    // One of rows, shown as a table under headings (a cell per heading) below
    // text: the index of the row picked, or -1 when the person cancelled.
    virtual int ChooseFromList(const QString& title, const QString& text,
                               const QStringList& headings, const QList<QStringList>& rows) = 0;
    // Hands a local file or a web address to the desktop. When nothing opens
    // it, a box says so and gives the address, so the person can open it by
    // hand; false then.
    bool OpenWithShell(const QString& target);

  protected:
    // The desktop's "open" itself; false when no program took the target.
    // One that learns of the failure only later calls SayNotOpened then.
    virtual bool HandToDesktop(const QString& target) = 0;
    // The box that tells the person target did not open, and gives its address.
    void SayNotOpened(const QString& target);
};
