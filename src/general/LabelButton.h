#pragma once
// Most command buttons of the program are label-buttons: a transparent,
// clickable label lying on a filled shape. The shape carries the colour; each
// window recolours its shapes as the pointer moves (hover rules differ from
// window to window, so the windows own them).

#include <QCursor>
#include <QLabel>
#include <QWidget>

class Shape : public QWidget {
    Q_OBJECT
  public:
    enum class Kind { Rectangle, RoundedRectangle };
    Shape(QWidget* parent, const QString& name, Kind kind, const QColor& fill);

    QColor fillColor() const { return fill_; }
    void setFillColor(const QColor& color);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Kind kind_;
    QColor fill_;
};

class LabelButton : public QLabel {
    Q_OBJECT
  public:
    LabelButton(QWidget* parent, const QString& name, const QString& caption);

  signals:
    void clicked();
    void pointerMoved();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

// The pointing hand over label-buttons: 32 x 32, monochrome, hot spot at the
// fingertip (6 pixels from the left on the top row).
const QCursor& PointingHandCursor();
