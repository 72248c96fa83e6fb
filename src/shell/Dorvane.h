#pragma once
// The main window: the track list, the label-buttons and the menus. Creating
// it runs Form_Load, which (re)loads the disc; Refresh and Clear run it again.

#include "extract/mVariables.h"

#include <QMainWindow>

#include <memory>

class Dialogs;
class LabelButton;
class LookUpNames;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class Shape;
class TrackListBox;
class frmSettings;

class Dorvane : public QMainWindow {
    Q_OBJECT
  public:
    // startDrive: the drive text of a disc image named on the command line,
    // opened instead of the saved drive until Save stores a choice.
    explicit Dorvane(Dialogs& dialogs, QString startDrive = {});
    ~Dorvane() override;

    void Form_Load();
    frmSettings* Settings() const { return settings_; }
    TrackListBox* TrackList = nullptr;

    // Recolours the label-buttons' shapes: 0 all white, 1 to 3 one of them blue.
    void DoColors(const int& valOpt);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenus();
    void BuildLabelButtons(QWidget* area);
    void SwitchDrive(int position);
    void FillTrackList();
    void ShowSettings();
    void SetEditEntriesEnabled(bool running = mVariables::RunInProgress);
    void ShowPopup(const QPoint& globalPos);

    void cmdRip_Click();
    void mnuChangeName_Click();
    void mnuRenAll_Click();
    void mnuClear_Click();
    void mnuSelectAll_Click();
    void mnuTP_Click(bool checkedNow);
    void mnuLookUp_Click();
    void mnuHHelp_Click();
    void mnuSave_Click();
    void mnuPrint_Click();

    Dialogs& dialogs_;
    QString startDrive_;
    frmSettings* settings_ = nullptr;
    QWidget* area_ = nullptr;
    QPushButton* cmdRip = nullptr;
    Shape* shapes_[3] = {};
    LabelButton* labels_[3] = {};
    QMenu* mnuPopup = nullptr;
    QAction* mnuChangeName = nullptr;
    QAction* mnuRenAll = nullptr;
    QAction* mnuClear = nullptr;
    QAction* mnurefresh = nullptr;
    QAction* mnuSelectAll = nullptr;
    QAction* mnuTP = nullptr;
    QAction* mnuLookUp = nullptr;
    // The names lookup and its thread; gone before the list it names.
    std::unique_ptr<LookUpNames> lookUp_;
    bool centred_ = false;
    bool closePending_ = false; // closed during an extraction run

  protected:
    void showEvent(QShowEvent* event) override;
};
