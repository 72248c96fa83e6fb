#pragma once
// The settings window: drive, output folder, format and encoder options.
// It is created hidden at start-up and lives until the program ends; its
// controls are the run's only store of format and encoder choices, and the
// extraction reads them directly. Save keeps the drive and the folder.

#include <QWidget>

class Dialogs;
class LabelButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class Shape;

class frmSettings : public QWidget {
    Q_OBJECT
  public:
    frmSettings(Dialogs& dialogs);

    QComboBox* DriveList = nullptr;
    QLineEdit* txtOutPath = nullptr;
    QRadioButton* optMP3 = nullptr;
    QRadioButton* optWAV = nullptr;
    QComboBox* cmbQuality = nullptr;
    QComboBox* cmbBitrate = nullptr;
    QCheckBox* chkCopyright = nullptr;
    QCheckBox* chkCRC = nullptr;
    QCheckBox* chkOriginal = nullptr;
    QCheckBox* chkPrivate = nullptr;

    // Refills the drive list with each drive once.
    void FillDriveList(const QStringList& drives);
    // Shows the dialog without an owner and without blocking the main window.
    void ShowSettings();

  signals:
    // A drive was chosen from the drive list (its position).
    void driveChosen(int position);
    // Save was pressed: the main window comes to the front.
    void saved();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void Label4_Click();
    void Label6_Click();

    Dialogs& dialogs_;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame4 = nullptr;
    LabelButton* Label4 = nullptr;
    LabelButton* Label6 = nullptr;
    Shape* Shape1 = nullptr;
    Shape* Shape2 = nullptr;
    bool placed_ = false;
};
