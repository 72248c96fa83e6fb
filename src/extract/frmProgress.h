#pragma once
// The small red window shown while one track is extracted: the file in its
// status line, the percentage in its title bar, a white bar growing in its
// red track, and "Cancel", which sets the shared cancel request. Each track
// gets a fresh window; closing it through its frame acts as Cancel.

#include "extract/ExtractUi.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class LabelButton;
class QFrame;
class QLabel;
class Shape;

class frmProgress : public QWidget, public ProgressWindow {
    Q_OBJECT
  public:
    explicit frmProgress(QWidget* owner);

    // Caption "Progress NN.NN %" (the person's decimal mark), the bar at
    // CurVal / TotVal of its track, and Status in the status line.
    void ChangeProgress(const QString& Status, float CurVal, float TotVal) override;
    // Shows the window centred on the screen.
    void ShowCentred();

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void HoldPaint();

    QLabel* lblStatus = nullptr;
    QFrame* picProgress1 = nullptr;
    QWidget* picProgress2 = nullptr;
    Shape* Shape1 = nullptr;
    LabelButton* Label1 = nullptr;
    LabelButton* Image1 = nullptr;
    QElapsedTimer frameClock_;
    QTimer repaintTimer_;
};
