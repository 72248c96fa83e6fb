#pragma once
// The main window's track list: one line of text and one check box per item.
// Item i stands for track i + 1 of the disc; its text is the track name and
// the output file's base name, its check mark marks it for extraction. The
// list is only ever cleared and refilled as a whole, or has texts replaced.

#include <QListWidget>

class TrackListBox : public QListWidget {
    Q_OBJECT
  public:
    explicit TrackListBox(QWidget* parent);

    int Count() const { return count(); }
    // Adds an item at the end, unchecked, and selects nothing. After a fill no
    // item is current, whether or not the list has the focus.
    void AddItem(const QString& text);
    // An index outside the list reads as empty text and is never written.
    QString ItemText(int index) const;
    void SetItemText(int index, const QString& text);
    bool IsChecked(int index) const;
    void SetChecked(int index, bool checked);
    // -1 when there is no current item.
    int CurrentIndex() const { return currentRow(); }
    QStringList Texts() const;
    // While an extraction runs, the ticks it has taken cannot change: the
    // items are greyed, and come back when it ends.
    void SetLocked(bool locked);

  signals:
    // F3 pressed in the list while it holds at least one item.
    void renameKey();
    // Right button pressed; the position is global.
    void popupRequested(const QPoint& globalPos);

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
};
