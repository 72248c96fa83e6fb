#pragma once
// Renames every track at once ("Rename All"). The rows start from the main
// list's names; titles are edited one selected row at a time, the prefix for
// all rows together. OK rebuilds the main list from the rows; Cancel and the
// close box leave it alone. Modal, run with exec() by the main window.

#include <QDialog>
#include <QPointer>

class LabelButton;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeWidget;
class Shape;
class TrackListBox;

class frmRenAll : public QDialog {
    Q_OBJECT
  public:
    // mnuTP is the Track no/prefix option: it decides how the rows are read
    // from the names here and how names are written back on OK.
    frmRenAll(QWidget* owner, TrackListBox* trackList, const QAction* mnuTP);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void FillRows();
    void cboPrefix_Click(int index);
    void Label1_Click();

    QPointer<TrackListBox> trackList_;
    QPointer<const QAction> mnuTP_;
    bool sized_ = false;

    QTreeWidget* List1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* cboPrefix = nullptr;
    Shape* Shape1_0 = nullptr;
    Shape* Shape1_1 = nullptr;
    LabelButton* Label1 = nullptr;
    LabelButton* Label2 = nullptr;
};
