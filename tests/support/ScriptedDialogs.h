#pragma once
// A dialog seam for window tests. Each question the program asks is recorded;
// the answer comes from a script the test sets up first, or a default (OK for
// a box with one button, No for a Yes/No question, empty text for a dialog,
// Cancel for a list) when the script has run out.

#include "general/Dialogs.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

class ScriptedDialogs : public Dialogs {
  public:
    struct Box {
        QString text;
        Buttons buttons;
        Icon icon;
        QString title;
    };

    // Answers for the next Yes/No questions, in order.
    std::deque<Answer> answers;
    // Answers for the next folder browsers ("" = cancel), in order.
    std::deque<QString> folders;
    // Names for the next save dialogs ("" = cancel), in order.
    std::deque<QString> saveNames;
    // Answers for the next printer dialogs (false = cancel), in order.
    std::deque<bool> printerChoices;
    // Rows picked in the next lists (-1 = cancel), in order; -1 when the
    // script has run out.
    std::deque<int> picks;
    // Whether the next files and pages handed to the desktop open (false =
    // nothing took them), in order; true when the script has run out.
    std::deque<bool> openResults;
    // Run while a box stands "on screen": lets a test look at the program
    // in the middle of a modal question.
    std::function<void(const Box&)> onMsgBox;
    // Run at every printer dialog, confirmed or not: the test makes its
    // choice (a PDF file, say) here, so printing after a cancel shows too.
    std::function<void(QPrinter&)> onPrinter;

    struct ListChoice {
        QString title;
        QString text;
        QStringList headings;
        QList<QStringList> rows;
    };
    // Run while a list stands "on screen", before its pick is taken.
    std::function<void(const ListChoice&)> onListChoice;

    struct SaveDialog {
        QString title;
        QString folder;
        QString filter;
        QString preselected;
    };

    std::vector<Box> boxes;
    QStringList browseTitles;
    std::vector<SaveDialog> saveDialogs;
    QStringList printTitles;
    std::vector<ListChoice> listChoices;
    QStringList opened;

    Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
    QString BrowseForFolder(const QString& title) override;
    QString SaveFileName(const QString& title, const QString& folder, const QString& filter,
                         QString* selectedFilter) override;
    bool ChoosePrinter(QPrinter& printer, const QString& title) override;
    int ChooseFromList(const QString& title, const QString& text, const QStringList& headings,
                       const QList<QStringList>& rows) override;

  protected:
    bool HandToDesktop(const QString& target) override;
};
