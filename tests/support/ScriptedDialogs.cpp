#include "ScriptedDialogs.h"

Dialogs::Answer ScriptedDialogs::MsgBox(const QString& text, Buttons buttons, Icon icon,
                                        const QString& title) {
    const Box box{text, buttons, icon, title};
    boxes.push_back(box);
    if (onMsgBox)
        onMsgBox(box);
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    if (answers.empty())
        return Answer::No;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString ScriptedDialogs::BrowseForFolder(const QString& title) {
    browseTitles << title;
    if (folders.empty())
        return {};
    QString folder = folders.front();
    folders.pop_front();
    return folder;
}

QString ScriptedDialogs::SaveFileName(const QString& title, const QString& folder,
                                      const QString& filter, QString* selectedFilter) {
    saveDialogs.push_back({title, folder, filter, selectedFilter ? *selectedFilter : QString()});
    if (saveNames.empty())
        return {};
    QString name = saveNames.front();
    saveNames.pop_front();
    return name;
}

bool ScriptedDialogs::ChoosePrinter(QPrinter& printer, const QString& title) {
    printTitles << title;
    if (onPrinter)
        onPrinter(printer);
    if (printerChoices.empty())
        return false;
    const bool choice = printerChoices.front();
    printerChoices.pop_front();
    return choice;
}

int ScriptedDialogs::ChooseFromList(const QString& title, const QString& text,
                                    const QStringList& headings, const QList<QStringList>& rows) {
    listChoices.push_back({title, text, headings, rows});
    if (onListChoice)
        onListChoice(listChoices.back());
    if (picks.empty())
        return -1;
    const int pick = picks.front();
    picks.pop_front();
    return pick;
}

bool ScriptedDialogs::HandToDesktop(const QString& target) {
    opened << target;
    if (openResults.empty())
        return true;
    const bool result = openResults.front();
    openResults.pop_front();
    return result;
}
