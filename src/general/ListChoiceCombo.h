#pragma once
// A combo box whose entries count only when picked from its open list.
//
// A plain editable QComboBox also reports typed text that equals an entry,
// a turn of the mouse wheel, an arrow key on the closed box and an inline
// completion as a choice. Where a choice does real work (switching the drive
// throws away renamed titles) that is wrong: here typing only edits the
// text, the wheel does nothing, and arrow keys open the list.

#include <QComboBox>

class ListChoiceCombo : public QComboBox {
    Q_OBJECT
  public:
    enum class Typing {
        KeepsEntry,  // typed text leaves the current entry as it was
        ClearsEntry, // typed text leaves no entry selected (index -1)
    };
    ListChoiceCombo(QWidget* parent, Typing typing);

    void showPopup() override;
    void hidePopup() override;

  signals:
    // An entry was picked from the open list (a click, or Enter in the list).
    void chosen(int index);

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void TextEdited(const QString& text);

    Typing typing_;
    bool listClosing_ = false;
};
