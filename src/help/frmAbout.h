#pragma once
// The About window: the program's name, version, build, publisher and home
// page, its licence and a disclaimer. Not modal and without owner; one at a
// time, destroyed when closed.

#include <QWidget>

class Dialogs;
class LabelButton;
class QPushButton;

class frmAbout : public QWidget {
    Q_OBJECT
  public:
    // Shows the window, or brings the open one to the front.
    static frmAbout* Open(Dialogs& dialogs);
    // The open window, if any.
    static frmAbout* Instance();

  private:
    explicit frmAbout(Dialogs& dialogs);

    Dialogs& dialogs_;
    LabelButton* Label6 = nullptr;
    QPushButton* Command1 = nullptr;
};
