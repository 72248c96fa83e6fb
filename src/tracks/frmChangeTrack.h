#pragma once
// Renames the current track of the main list ("New Filename"). A window of
// its own, not modal: the main window stays usable while it is open, so the
// list may change under it; the item to write is looked up again on OK.
// One instance at a time.

#include <QPointer>
#include <QWidget>

class LabelButton;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class Shape;
class TrackListBox;

class frmChangeTrack : public QWidget {
    Q_OBJECT
  public:
    // Opens the window for the current item of trackList, or brings the open
    // one to the front unchanged. Nothing opens (nullptr) while the list has
    // no current item. mnuTP is the Track no/prefix option, read on OK.
    static frmChangeTrack* Open(TrackListBox* trackList, const QAction* mnuTP);
    // The open window, if any.
    static frmChangeTrack* Instance();

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    frmChangeTrack(TrackListBox* trackList, const QAction* mnuTP);
    void Fill(const QString& name);
    void Label3_Click();

    QPointer<TrackListBox> trackList_;
    QPointer<const QAction> mnuTP_;

    QLabel* Label1 = nullptr;
    QLineEdit* txtCurrent = nullptr;
    QLineEdit* txtOldTrackNo = nullptr;
    QComboBox* cboPrefix_0 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtNew = nullptr;
    QLineEdit* txtTrackNo = nullptr;
    QComboBox* cboPrefix_1 = nullptr;
    Shape* Shape1 = nullptr;
    LabelButton* Label3 = nullptr;
};
